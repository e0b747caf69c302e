#include "HmacSha1.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

void HmacSha1::UpdateAll(const std::uint8_t* data, std::size_t length)
{
    constexpr std::size_t kPiece = std::numeric_limits<std::uint32_t>::max() & ~std::size_t{63};
    while (length > 0) {
        const std::size_t piece = std::min(length, kPiece);
        Update(data, static_cast<std::uint32_t>(piece));
        data += piece;
        length -= piece;
    }
}

void HmacSha1::Compute(const std::uint8_t* text, std::size_t textLength, const std::uint8_t* key,
                       std::size_t keyLength, Sha1Digest& out)
{
    std::memset(m_keyBlock, 0, sizeof m_keyBlock);
    std::memset(m_ipad, 0x36, sizeof m_ipad);
    std::memset(m_opad, 0x5C, sizeof m_opad);

    if (keyLength > sizeof m_keyBlock) {
        Reset();
        UpdateAll(key, keyLength);
        Final();
        std::memcpy(m_keyBlock, Digest().data(), Digest().size());
    } else if (keyLength > 0) {
        std::memcpy(m_keyBlock, key, keyLength);
    }

    for (std::size_t i = 0; i < sizeof m_ipad; ++i) {
        m_ipad[i] ^= m_keyBlock[i];
    }
    std::vector<std::uint8_t> inner(sizeof m_ipad + textLength);
    std::memcpy(inner.data(), m_ipad, sizeof m_ipad);
    if (textLength > 0) {
        std::memcpy(inner.data() + sizeof m_ipad, text, textLength);
    }
    Reset();
    UpdateAll(inner.data(), inner.size());
    Final();
    m_innerDigest = Digest();

    for (std::size_t i = 0; i < sizeof m_opad; ++i) {
        m_opad[i] ^= m_keyBlock[i];
    }
    std::uint8_t outer[sizeof m_opad + 20];
    std::memcpy(outer, m_opad, sizeof m_opad);
    std::memcpy(outer + sizeof m_opad, m_innerDigest.data(), m_innerDigest.size());
    Reset();
    Update(outer, sizeof outer);
    Final();
    out = Digest();
}
