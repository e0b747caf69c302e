#include "HmacSha1.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <random>
#include <string>

#include "TestHex.h"

namespace {

std::string HmacHex(const std::string& key, const std::string& text)
{
    HmacSha1 hmac;
    Sha1Digest out{};
    hmac.Compute(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                 reinterpret_cast<const std::uint8_t*>(key.data()), key.size(), out);
    return ToHex(out.data(), out.size());
}

TEST(HmacSha1, Rfc2202Vectors)
{
    struct Vector
    {
        const char* name;
        std::string key;
        std::string text;
        const char* digest;
    };
    std::string key25;
    for (int i = 1; i <= 25; ++i) {
        key25 += static_cast<char>(i);
    }
    const Vector vectors[] = {
        {"1: 20-byte key", std::string(20, '\x0b'), "Hi There",
         "b617318655057264e28bc0b6fb378c8ef146be00"},
        {"2: short key", "Jefe", "what do ya want for nothing?",
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {"3: 0xaa key, 0xdd text", std::string(20, '\xaa'), std::string(50, '\xdd'),
         "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {"4: 25-byte counting key", key25, std::string(50, '\xcd'),
         "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {"5: truncation text", std::string(20, '\x0c'), "Test With Truncation",
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {"6: 80-byte key, hashed first", std::string(80, '\xaa'),
         "Test Using Larger Than Block-Size Key - Hash Key First",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {"7: 80-byte key, text over a block", std::string(80, '\xaa'),
         "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(HmacHex(v.key, v.text), v.digest);
    }
}

// A key of up to 64 bytes is used as it stands; a longer one is replaced by its SHA-1. So a
// 65-byte key must sign exactly like its own 20-byte digest, and a 64-byte key must not.
TEST(HmacSha1, KeysOfSixtyFourBytesAreUsedUnchangedLongerOnesHashed)
{
    const std::string text = "boundary";
    for (const std::size_t length : {64u, 65u, 80u}) {
        SCOPED_TRACE("key length " + std::to_string(length));
        const std::string key(length, '\x5a');
        Sha1 sha;
        sha.Update(reinterpret_cast<const std::uint8_t*>(key.data()),
                   static_cast<std::uint32_t>(key.size()));
        sha.Final();
        const std::string hashedKey(reinterpret_cast<const char*>(sha.Digest().data()), 20);
        if (length == 64) {
            EXPECT_NE(HmacHex(key, text), HmacHex(hashedKey, text));
        } else {
            EXPECT_EQ(HmacHex(key, text), HmacHex(hashedKey, text));
        }
    }
}

// Every key length 0-200 with every message length 0-300, random bytes, against OpenSSL.
TEST(HmacSha1, AgreesWithOpenSslForEveryKeyAndMessageLength)
{
    std::mt19937 rng(2202);
    const auto keyPool = RandomBytes(rng, 200);
    const auto textPool = RandomBytes(rng, 300);
    HmacSha1 hmac;  // one object reused, as the signer may
    for (std::size_t keyLength = 0; keyLength <= 200; ++keyLength) {
        for (std::size_t textLength = 0; textLength <= 300; ++textLength) {
            // Vary the bytes per pair so no two pairs share a prefix pattern.
            const std::size_t shift = (keyLength * 7 + textLength) % 50;
            std::vector<std::uint8_t> key(keyLength), text(textLength);
            for (std::size_t i = 0; i < keyLength; ++i) {
                key[i] = keyPool[(i + shift) % keyPool.size()];
            }
            for (std::size_t i = 0; i < textLength; ++i) {
                text[i] = textPool[(i + shift) % textPool.size()];
            }
            std::uint8_t expected[EVP_MAX_MD_SIZE];
            unsigned expectedLength = 0;
            // OpenSSL refuses a null key even of length 0; ours must take either.
            static const std::uint8_t noKey = 0;
            HMAC(EVP_sha1(), key.empty() ? &noKey : key.data(), static_cast<int>(key.size()),
                 text.data(), text.size(), expected, &expectedLength);
            Sha1Digest out{};
            hmac.Compute(text.data(), text.size(), key.data(), key.size(), out);
            ASSERT_EQ(expectedLength, 20u);
            ASSERT_EQ(ToHex(out.data(), 20), ToHex(expected, 20))
                << "key length " << keyLength << ", text length " << textLength;
        }
    }
}

// The text is not limited by any staging area: a text of several MiB signs like OpenSSL's.
TEST(HmacSha1, LongTextHasNoSizeLimit)
{
    std::mt19937 rng(4096);
    const auto text = RandomBytes(rng, 5 * 1024 * 1024 + 3);
    const std::string key = "Tq4NfJw8RzKc2HbYm6PsVd3GxLe9UaZt";
    std::uint8_t expected[EVP_MAX_MD_SIZE];
    unsigned expectedLength = 0;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), text.data(), text.size(), expected,
         &expectedLength);
    HmacSha1 hmac;
    Sha1Digest out{};
    hmac.Compute(text.data(), text.size(), reinterpret_cast<const std::uint8_t*>(key.data()),
                 key.size(), out);
    EXPECT_EQ(ToHex(out.data(), 20), ToHex(expected, 20));
}

}  // namespace
