#include "AdapterList.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>

#include "Platform.h"

namespace platform {

std::optional<std::array<std::uint8_t, 6>> FirstHardwareAddress(
    const std::vector<AdapterEntry>& adapters)
{
    for (const AdapterEntry& adapter : adapters) {
        if (adapter.loopback || adapter.hardwareAddress.size() != 6)
            continue;
        const auto& bytes = adapter.hardwareAddress;
        if (std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; }))
            continue;
        std::array<std::uint8_t, 6> address{};
        std::copy(bytes.begin(), bytes.end(), address.begin());
        return address;
    }
    return std::nullopt;
}

std::vector<AdapterEntry> ListAdapters()
{
    std::vector<AdapterEntry> adapters;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return adapters;
    // getifaddrs allocates the whole list itself, so there is no limit on how many adapters
    // a machine may have.
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
        AdapterEntry adapter;
        adapter.name = entry->ifa_name ? entry->ifa_name : "";
        adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        const std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
        adapter.hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
        adapters.push_back(std::move(adapter));
    }
    freeifaddrs(list);
    return adapters;
}

std::optional<std::array<std::uint8_t, 6>> FirstAdapterHardwareAddress()
{
    return FirstHardwareAddress(ListAdapters());
}

}  // namespace platform
