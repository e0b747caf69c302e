#include "TextConversion.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <string>

#include "TestHex.h"

namespace {

std::string HexUnits(const std::u16string& units)
{
    std::string hex;
    char buffer[8];
    for (const char16_t u : units) {
        std::snprintf(buffer, sizeof buffer, "%04X ", static_cast<unsigned>(u));
        hex += buffer;
    }
    return hex;
}

enum class Direction
{
    Decode,  // only Utf8ToWide(bytes) == units
    Encode,  // only WideToUtf8(units) == bytes
    Both,
};

struct ConversionCase
{
    const char* name;
    Direction direction;
    std::string bytes;
    std::u16string units;
};

TEST(TextConversion, Cases)
{
    const ConversionCase cases[] = {
        {"empty", Direction::Both, "", u""},
        {"ASCII", Direction::Both, "A~\x7F", u"A~\x7F"},
        {"two bytes, lowest", Direction::Both, "\xC2\x80", u"\x0080"},
        {"two bytes, e acute", Direction::Both, "\xC3\xA9", u"\x00E9"},
        {"two bytes, highest", Direction::Both, "\xDF\xBF", u"\x07FF"},
        {"three bytes, lowest", Direction::Both, "\xE0\xA0\x80", u"\x0800"},
        {"three bytes, CJK", Direction::Both, "\xE4\xB8\xAD", u"\x4E2D"},
        {"three bytes, highest", Direction::Both, "\xEF\xBF\xBF", u"\xFFFF"},
        {"ASCII then CJK", Direction::Both, "A\xE4\xB8\xAD", u"A\x4E2D"},
        {"surrogate pair encoded unit by unit", Direction::Both, "\xED\xA0\xBD\xED\xB8\x80",
         std::u16string{char16_t(0xD83D), char16_t(0xDE00)}},
        {"stray continuation byte kept as its value", Direction::Decode, "\xB5", u"\x00B5"},
        {"four bytes keep the low 16 bits", Direction::Decode, "\xF0\x9F\x98\x80", u"\xF600"},
        {"five bytes keep the low 16 bits", Direction::Decode, "\xFB\xBF\xBF\xBF\xBF", u"\xFFFF"},
        {"six bytes keep the low 16 bits", Direction::Decode, "\xFD\x80\x80\x80\x81\x82", u"B"},
        {"following bytes are not checked", Direction::Decode, "\xC3\x41", u"\x00C1"},
        {"cut-off two-byte sequence", Direction::Decode, "\xC3", u""},
        {"cut-off three-byte sequence", Direction::Decode, "\xE4\xB8", u""},
        {"cut-off sequence loses the text before it", Direction::Decode, "A\xE4", u""},
        {"cut-off four-byte sequence", Direction::Decode, "\xF0\x9F\x98", u""},
        {"cut-off five-byte sequence", Direction::Decode, "xy\xFB\xBF\xBF\xBF", u""},
        {"cut-off six-byte sequence", Direction::Decode, "\xFD\x80\x80\x80\x81", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.direction != Direction::Encode) {
            EXPECT_EQ(HexUnits(Utf8ToWide(c.bytes)), HexUnits(c.units));
        }
        if (c.direction != Direction::Decode) {
            EXPECT_EQ(ToHex(WideToUtf8(c.units)), ToHex(c.bytes));
        }
    }
}

// Every 16-bit unit survives a trip through UTF-8 and back.
TEST(TextConversion, EveryUnitRoundTrips)
{
    std::u16string all;
    for (unsigned u = 0; u <= 0xFFFF; ++u) {
        all += static_cast<char16_t>(u);
    }
    EXPECT_EQ(Utf8ToWide(WideToUtf8(all)), all);
}

}  // namespace
