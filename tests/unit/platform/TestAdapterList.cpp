#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "AdapterList.h"
#include "Platform.h"

namespace {

using platform::AdapterEntry;
using Address = std::array<std::uint8_t, 6>;

AdapterEntry Adapter(const char* name, std::vector<std::uint8_t> address, bool loopback = false)
{
    return AdapterEntry{name, loopback, std::move(address)};
}

TEST(FirstHardwareAddress, PicksTheFirstRealAdapterInListOrder)
{
    const std::vector<std::uint8_t> mac1 = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    const std::vector<std::uint8_t> mac2 = {0xAB, 0xCD, 0xEF, 0x01, 0x02, 0x03};

    // Seven adapters before the first with an address: a fixed five-record buffer would
    // have lost the address entirely.
    std::vector<AdapterEntry> many;
    for (int i = 0; i < 7; ++i)
        many.push_back(Adapter("tun", {}));
    many.push_back(Adapter("eth9", mac2));

    struct Row
    {
        const char* name;
        std::vector<AdapterEntry> list;
        std::optional<Address> expected;
    };
    const Row rows[] = {
        {"no adapters", {}, std::nullopt},
        {"loopback only", {Adapter("lo", {0, 0, 0, 0, 0, 0}, true)}, std::nullopt},
        {"loopback with a non-zero address is still skipped",
         {Adapter("lo", mac2, true)},
         std::nullopt},
        {"first after loopback",
         {Adapter("lo", {0, 0, 0, 0, 0, 0}, true), Adapter("eth0", mac1), Adapter("eth1", mac2)},
         Address{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"list order, not name order",
         {Adapter("wlan0", mac2), Adapter("eth0", mac1)},
         Address{0xAB, 0xCD, 0xEF, 0x01, 0x02, 0x03}},
        {"tunnel without address and zero address skipped",
         {Adapter("tun0", {}), Adapter("dummy0", {0, 0, 0, 0, 0, 0}), Adapter("eth0", mac1)},
         Address{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"non-Ethernet address lengths skipped",
         {Adapter("ib0", std::vector<std::uint8_t>(20, 7)), Adapter("sit0", {1, 2, 3, 4}),
          Adapter("eth0", mac1)},
         Address{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}},
        {"more adapters than five", many, Address{0xAB, 0xCD, 0xEF, 0x01, 0x02, 0x03}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(platform::FirstHardwareAddress(row.list), row.expected);
    }
}

// The machine's own list agrees with what the kernel shows under /sys/class/net.
TEST(FirstAdapterHardwareAddress, MatchesTheKernelsView)
{
    const auto adapters = platform::ListAdapters();
    for (const AdapterEntry& adapter : adapters) {
        SCOPED_TRACE(adapter.name);
        std::ifstream sys("/sys/class/net/" + adapter.name + "/address");
        if (!sys)
            continue;  // interface vanished in between
        std::string text;
        sys >> text;
        std::string ours;
        char pair[4];
        for (std::size_t i = 0; i < adapter.hardwareAddress.size(); ++i) {
            std::snprintf(pair, sizeof pair, i ? ":%02x" : "%02x", adapter.hardwareAddress[i]);
            ours += pair;
        }
        EXPECT_EQ(ours, text);
    }
    EXPECT_EQ(platform::FirstAdapterHardwareAddress(), platform::FirstHardwareAddress(adapters));
}

}  // namespace
