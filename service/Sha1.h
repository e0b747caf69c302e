// Incremental SHA-1 (FIPS 180-1): the digest under the request signature's HMAC.
#pragma once

#include <array>
#include <cstdint>

using Sha1Digest = std::array<std::uint8_t, 20>;

class Sha1
{
public:
    Sha1() { Reset(); }

    // Loads the initial hash values and forgets every byte fed so far.
    void Reset();
    void Update(const std::uint8_t* data, std::uint32_t length);
    // Pads, stores the digest (see Digest()) and wipes the working state: Reset before reuse.
    void Final();

    const Sha1Digest& Digest() const { return m_digest; }

private:
    void Transform(const std::uint8_t* block);

    std::uint32_t m_state[5];
    std::uint32_t m_countLow;   // message length in bits, low word
    std::uint32_t m_countHigh;  // and high word
    std::uint8_t m_buffer[64];  // bytes of the current incomplete block
    Sha1Digest m_digest{};
};
