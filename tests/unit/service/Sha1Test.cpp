#include "Sha1.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <random>
#include <string>

#include "TestHex.h"

namespace {

std::string Sha1Hex(const std::string& message)
{
    Sha1 sha;
    sha.Update(reinterpret_cast<const std::uint8_t*>(message.data()),
               static_cast<std::uint32_t>(message.size()));
    sha.Final();
    return ToHex(sha.Digest().data(), sha.Digest().size());
}

struct Sha1Vector
{
    const char* name;
    std::string message;
    const char* digest;
};

// FIPS 180-1 examples, and lengths around the padding boundaries (padding spills into a second
// block from 56 bytes on; 64 fills a block exactly).
TEST(Sha1, PublishedAndBoundaryVectors)
{
    const Sha1Vector vectors[] = {
        {"empty", "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"two-block FIPS message", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"55 bytes", std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {"56 bytes", std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {"63 bytes", std::string(63, 'a'), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
        {"64 bytes", std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
        {"65 bytes", std::string(65, 'a'), "11655326c708d70319be2610e8a57d9a5b959d3b"},
        {"119 bytes", std::string(119, 'a'), "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
        {"120 bytes", std::string(120, 'a'), "f34c1488385346a55709ba056ddd08280dd4c6d6"},
        {"one million a", std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(Sha1Hex(v.message), v.digest);
    }
}

// Every length 0-300 on random bytes, fed whole and fed in uneven pieces, against OpenSSL.
TEST(Sha1, AgreesWithOpenSslForEveryLengthUpTo300)
{
    std::mt19937 rng(1701);
    std::uniform_int_distribution<int> pieceLength(0, 70);
    for (std::size_t length = 0; length <= 300; ++length) {
        SCOPED_TRACE("length " + std::to_string(length));
        const auto message = RandomBytes(rng, length);
        std::uint8_t expected[SHA_DIGEST_LENGTH];
        SHA1(message.data(), message.size(), expected);

        Sha1 whole;
        whole.Update(message.data(), static_cast<std::uint32_t>(message.size()));
        whole.Final();
        ASSERT_EQ(ToHex(whole.Digest().data(), 20), ToHex(expected, 20));

        Sha1 pieces;
        for (std::size_t at = 0; at < length;) {
            const std::size_t n = std::min<std::size_t>(pieceLength(rng), length - at);
            pieces.Update(message.data() + at, static_cast<std::uint32_t>(n));
            at += n;
        }
        pieces.Final();
        ASSERT_EQ(ToHex(pieces.Digest().data(), 20), ToHex(expected, 20));
    }
}

// Final wipes the state; Reset makes the object as good as new.
TEST(Sha1, ResetAfterFinalStartsAFreshHash)
{
    Sha1 sha;
    const std::uint8_t junk[] = {1, 2, 3};
    sha.Update(junk, sizeof junk);
    sha.Final();
    sha.Reset();
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    sha.Update(abc, sizeof abc);
    sha.Final();
    EXPECT_EQ(ToHex(sha.Digest().data(), 20), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

}  // namespace
