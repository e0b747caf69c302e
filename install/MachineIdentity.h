// The machine's identity as the usage events report it, and the events' parameter strings.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Six upper-case hexadecimal pairs joined by "-", e.g. "00-1A-2B-3C-4D-5E".
std::u16string FormatHardwareAddress(const std::array<std::uint8_t, 6>& address);

// The hardware address of the first network adapter, formatted as above; empty when there is none.
std::u16string GetMacAddress();

// The parameter string of a usage event: "type=0&code=<code>&remark=mac=<address>,channel=0".
std::u16string UsageEventParameters(std::u16string_view code, std::u16string_view macAddress);
