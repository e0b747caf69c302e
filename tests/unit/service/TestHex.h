// Small helpers shared by the service tests: hex text and random bytes.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

inline std::string ToHex(const std::uint8_t* data, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < length; ++i) {
        hex += digits[data[i] >> 4];
        hex += digits[data[i] & 15];
    }
    return hex;
}

inline std::string ToHex(const std::string& bytes)
{
    return ToHex(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

inline std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t length)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> bytes(length);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(byte(rng));
    }
    return bytes;
}
