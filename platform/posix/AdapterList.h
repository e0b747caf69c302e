// The choice of "the first adapter" over a list of interfaces, kept apart from getifaddrs so
// that it can be checked against made-up lists of any length.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct AdapterEntry
{
    std::string name;
    bool loopback = false;
    std::vector<std::uint8_t> hardwareAddress;  // empty when the interface has none
};

// The first entry, in list order, that is not loopback and has a six-byte address that is
// not all zero.
std::optional<std::array<std::uint8_t, 6>> FirstHardwareAddress(
    const std::vector<AdapterEntry>& adapters);

// Every interface the system lists with a link-layer address, in the system's order.
std::vector<AdapterEntry> ListAdapters();

}  // namespace platform
