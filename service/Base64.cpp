#include "Base64.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::string Base64EncodeDigest(const Sha1Digest& digest)
{
    std::string out;
    out.reserve(28);
    std::size_t i = 0;
    for (; i + 3 <= digest.size(); i += 3) {
        const unsigned group =
            (unsigned{digest[i]} << 16) | (unsigned{digest[i + 1]} << 8) | unsigned{digest[i + 2]};
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += kAlphabet[(group >> 6) & 63];
        out += kAlphabet[group & 63];
    }
    // 20 = 6 * 3 + 2: the last two bytes give three characters and one pad.
    const unsigned rest = (unsigned{digest[i]} << 16) | (unsigned{digest[i + 1]} << 8);
    out += kAlphabet[(rest >> 18) & 63];
    out += kAlphabet[(rest >> 12) & 63];
    out += kAlphabet[(rest >> 6) & 63];
    out += '=';
    return out;
}
