#include "TextConversion.h"

#include <cstdint>

std::u16string Utf8ToWide(const std::string& utf8)
{
    std::u16string wide;
    wide.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length;
        std::uint32_t value;
        if (lead < 0xC0) {
            length = 1;  // ASCII, and a stray continuation byte kept as the unit of its value
            value = lead;
        } else if (lead < 0xE0) {
            length = 2;
            value = lead & 0x1Fu;
        } else if (lead < 0xF0) {
            length = 3;
            value = lead & 0x0Fu;
        } else if (lead < 0xF8) {
            length = 4;
            value = lead & 0x07u;
        } else if (lead < 0xFC) {
            length = 5;
            value = lead & 0x03u;
        } else {
            length = 6;
            value = lead & 0x01u;
        }
        if (length > utf8.size() - i) {
            return {};  // a cut-off last sequence spoils the whole text
        }
        for (std::size_t k = 1; k < length; ++k) {
            value = (value << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        }
        wide += static_cast<char16_t>(value & 0xFFFFu);
        i += length;
    }
    return wide;
}

std::string WideToUtf8(const std::u16string& wide)
{
    std::string utf8;
    utf8.reserve(wide.size() * 3);
    for (const char16_t unit : wide) {
        const unsigned value = unit;
        if (value < 0x80) {
            utf8 += static_cast<char>(value);
        } else if (value < 0x800) {
            utf8 += static_cast<char>(0xC0 | (value >> 6));
            utf8 += static_cast<char>(0x80 | (value & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (value >> 12));
            utf8 += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (value & 0x3F));
        }
    }
    return utf8;
}
