#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "MachineIdentity.h"
#include "Platform.h"

namespace {

std::string Narrow(const std::u16string& text)
{
    return std::string(text.begin(), text.end());  // ASCII only here
}

TEST(MachineIdentity, FormatsSixUpperCasePairs)
{
    struct Case
    {
        std::array<std::uint8_t, 6> bytes;
        const char* text;
    };
    const Case cases[] = {
        {{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, "00-1A-2B-3C-4D-5E"},
        {{0xAB, 0xCD, 0xEF, 0xab, 0x0f, 0xf0}, "AB-CD-EF-AB-0F-F0"},
        {{0, 0, 0, 0, 0, 0}, "00-00-00-00-00-00"},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "FF-FF-FF-FF-FF-FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Narrow(FormatHardwareAddress(c.bytes)), c.text);
    }
}

TEST(MachineIdentity, AddressMatchesTheFirstAdapterOrIsEmpty)
{
    const auto address = platform::FirstAdapterHardwareAddress();
    const std::u16string text = GetMacAddress();
    if (!address) {
        EXPECT_TRUE(text.empty());
        return;
    }
    EXPECT_EQ(text, FormatHardwareAddress(*address));
    EXPECT_EQ(text.size(), 17u);
}

TEST(MachineIdentity, EventParametersFillTheTemplate)
{
    struct Case
    {
        const char16_t* code;
        const char16_t* mac;
        const char* params;
    };
    const Case cases[] = {
        {u"S2_d01", u"00-1A-2B-3C-4D-5E",
         "type=0&code=S2_d01&remark=mac=00-1A-2B-3C-4D-5E,channel=0"},
        {u"S2_d02", u"AB-CD-EF-01-02-03",
         "type=0&code=S2_d02&remark=mac=AB-CD-EF-01-02-03,channel=0"},
        // No adapter: "mac=" is directly followed by ",channel=0".
        {u"S2_d01", u"", "type=0&code=S2_d01&remark=mac=,channel=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.params);
        EXPECT_EQ(Narrow(UsageEventParameters(c.code, c.mac)), c.params);
    }
}

}  // namespace
