#include "Base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>

#include "TestHex.h"

namespace {

TEST(Base64EncodeDigest, FixedDigests)
{
    struct Row
    {
        const char* name;
        Sha1Digest digest;
        const char* encoded;
    };
    Sha1Digest ones;
    ones.fill(0xFF);
    Sha1Digest counting;
    for (std::size_t i = 0; i < counting.size(); ++i) {
        counting[i] = static_cast<std::uint8_t>(i);
    }
    const Row rows[] = {
        {"zeros", Sha1Digest{}, "AAAAAAAAAAAAAAAAAAAAAAAAAAA="},
        {"all bits set, the last two alphabet characters", ones, "//////////////////////////8="},
        {"counting bytes", counting, "AAECAwQFBgcICQoLDA0ODxAREhM="},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Base64EncodeDigest(row.digest), row.encoded);
    }
}

TEST(Base64EncodeDigest, AgreesWithOpenSslOnRandomDigests)
{
    std::mt19937 rng(4648);
    for (int round = 0; round < 2000; ++round) {
        const auto bytes = RandomBytes(rng, 20);
        Sha1Digest digest;
        std::copy(bytes.begin(), bytes.end(), digest.begin());
        unsigned char expected[32] = {};
        const int length = EVP_EncodeBlock(expected, digest.data(), 20);
        ASSERT_EQ(length, 28);
        ASSERT_EQ(Base64EncodeDigest(digest), reinterpret_cast<const char*>(expected))
            << ToHex(digest.data(), 20);
    }
}

}  // namespace
