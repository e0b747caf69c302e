// HMAC-SHA1 (RFC 2104): the request signature. Reuses its own SHA-1 state for each pass, so
// one object serves one computation at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Sha1.h"

class HmacSha1 : public Sha1
{
public:
    // Writes the HMAC of `text` under `key` to `out`. The text may be of any length: the inner
    // pass works on a buffer sized to it, never on a fixed staging area.
    void Compute(const std::uint8_t* text, std::size_t textLength, const std::uint8_t* key,
                 std::size_t keyLength, Sha1Digest& out);

private:
    // Feeds lengths beyond what one Update takes in pieces.
    void UpdateAll(const std::uint8_t* data, std::size_t length);

    std::uint8_t m_ipad[64];
    std::uint8_t m_opad[64];
    std::uint8_t m_keyBlock[64];
    Sha1Digest m_innerDigest{};
};
