#include "Sha1.h"

#include <cstring>

namespace {

std::uint32_t Rotl(std::uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

}  // namespace

void Sha1::Reset()
{
    m_state[0] = 0x67452301u;
    m_state[1] = 0xEFCDAB89u;
    m_state[2] = 0x98BADCFEu;
    m_state[3] = 0x10325476u;
    m_state[4] = 0xC3D2E1F0u;
    m_countLow = 0;
    m_countHigh = 0;
    std::memset(m_buffer, 0, sizeof m_buffer);
}

void Sha1::Transform(const std::uint8_t* block)
{
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
        w[i] = (std::uint32_t{block[4 * i]} << 24) | (std::uint32_t{block[4 * i + 1]} << 16) |
               (std::uint32_t{block[4 * i + 2]} << 8) | std::uint32_t{block[4 * i + 3]};
    }
    for (int i = 16; i < 80; ++i) {
        w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    }

    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3], e = m_state[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t t = Rotl(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotl(b, 30);
        b = a;
        a = t;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
}

void Sha1::Update(const std::uint8_t* data, std::uint32_t length)
{
    if (length == 0) {
        return;
    }
    const std::uint32_t used = (m_countLow >> 3) & 63;
    const std::uint32_t bitsLow = length << 3;
    m_countLow += bitsLow;
    if (m_countLow < bitsLow) {
        ++m_countHigh;
    }
    m_countHigh += length >> 29;

    std::uint32_t i = 0;
    if (used + length >= 64) {
        i = 64 - used;
        std::memcpy(m_buffer + used, data, i);
        Transform(m_buffer);
        for (; i + 63 < length; i += 64) {
            Transform(data + i);
        }
        std::memcpy(m_buffer, data + i, length - i);
    } else {
        std::memcpy(m_buffer + used, data, length);
    }
}

void Sha1::Final()
{
    std::uint8_t count[8];
    for (int i = 0; i < 4; ++i) {
        count[i] = static_cast<std::uint8_t>(m_countHigh >> (24 - 8 * i));
        count[i + 4] = static_cast<std::uint8_t>(m_countLow >> (24 - 8 * i));
    }
    const std::uint8_t one = 0x80;
    const std::uint8_t zero = 0x00;
    Update(&one, 1);
    while ((m_countLow & 511) != 448) {
        Update(&zero, 1);
    }
    Update(count, 8);
    for (int i = 0; i < 20; ++i) {
        m_digest[i] = static_cast<std::uint8_t>(m_state[i >> 2] >> (24 - 8 * (i & 3)));
    }
    std::memset(m_buffer, 0, sizeof m_buffer);
    std::memset(m_state, 0, sizeof m_state);
    m_countLow = 0;
    m_countHigh = 0;
}
