#include "RequestVerifier.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace {

const char kHex[] = "0123456789ABCDEF";

bool IsAsciiAlnum(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

void AppendEscape(std::string& out, unsigned char byte)
{
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string PercentDecode(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];  // a stray "%" stays as it is; "+" is not a space here
        }
    }
    return out;
}

// The client's UTF-8 decoder: each sequence becomes one 16-bit unit, continuation bytes are not
// checked, and a sequence cut short by the end empties the whole result.
std::u16string DecodeUnits(const std::string& utf8)
{
    std::u16string units;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 1;
        std::uint32_t value = lead;
        if (lead >= 0xFC) {
            length = 6, value = lead & 0x01;
        } else if (lead >= 0xF8) {
            length = 5, value = lead & 0x03;
        } else if (lead >= 0xF0) {
            length = 4, value = lead & 0x07;
        } else if (lead >= 0xE0) {
            length = 3, value = lead & 0x0F;
        } else if (lead >= 0xC0) {
            length = 2, value = lead & 0x1F;
        }
        if (i + length > utf8.size())
            return {};
        for (std::size_t k = 1; k < length; ++k)
            value = (value << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        units += static_cast<char16_t>(value & 0xFFFF);
        i += length;
    }
    return units;
}

}  // namespace

RequestVerifier::RequestVerifier(std::string appKey, std::string appSecret)
    : m_strAppKey(std::move(appKey)), m_strAppSecret(std::move(appSecret))
{
}

std::map<std::string, std::string> RequestVerifier::ParseForm(const std::string& body)
{
    std::map<std::string, std::string> params;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t end = body.find('&', pos);
        if (end == std::string::npos)
            end = body.size();
        const std::string token = body.substr(pos, end - pos);
        const std::size_t eq = token.size() > 1 ? token.find('=', 1) : std::string::npos;
        if (eq != std::string::npos)
            params[token.substr(0, eq)] = PercentDecode(token.substr(eq + 1));
        pos = end + 1;
    }
    return params;
}

std::string RequestVerifier::EncodeForSigning(const std::string& bytes)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (IsAsciiAlnum(c) || c == '.' || c == '_' || c == '-')
            out += static_cast<char>(c);
        else
            AppendEscape(out, c);
    }
    return out;
}

std::string RequestVerifier::EncodeValueForSigning(const std::string& utf8)
{
    std::string out;
    for (char16_t unit : DecodeUnits(utf8)) {
        if (unit < 0x80) {
            const unsigned char c = static_cast<unsigned char>(unit);
            if (IsAsciiAlnum(c) || c == '!' || c == '*' || c == '(' || c == ')')
                out += static_cast<char>(c);
            else
                AppendEscape(out, c);
        } else {
            // The client escapes only the last byte of the unit's UTF-8 form, a continuation byte.
            AppendEscape(out, static_cast<unsigned char>(0x80 | (unit & 0x3F)));
        }
    }
    return out;
}

std::string RequestVerifier::ExpectedSignature(const std::string& method,
                                               const std::string& apiPath,
                                               std::map<std::string, std::string> params) const
{
    params.erase("sign");
    std::string joined;
    for (const auto& [key, value] : params) {
        if (!joined.empty())
            joined += '&';
        joined += key + "=" + EncodeValueForSigning(value);
    }
    std::string upperMethod = method;
    for (char& c : upperMethod)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    const std::string toSign =
        upperMethod + "&" + EncodeForSigning(apiPath) + "&" + EncodeForSigning(joined);

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    HMAC(EVP_sha1(), m_strAppSecret.data(), static_cast<int>(m_strAppSecret.size()),
         reinterpret_cast<const unsigned char*>(toSign.data()), toSign.size(), digest,
         &digestLength);
    unsigned char base64[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
    const int base64Length = EVP_EncodeBlock(base64, digest, static_cast<int>(digestLength));
    return std::string(reinterpret_cast<const char*>(base64),
                       static_cast<std::size_t>(base64Length));
}

bool RequestVerifier::SignatureHolds(const std::string& method, const std::string& apiPath,
                                     const std::map<std::string, std::string>& params) const
{
    const auto sign = params.find("sign");
    if (sign == params.end())
        return false;
    const std::string expected = ExpectedSignature(method, apiPath, params);
    return sign->second.size() == expected.size() &&
           CRYPTO_memcmp(sign->second.data(), expected.data(), expected.size()) == 0;
}

RequestVerifier::Verdict RequestVerifier::Check(const std::string& method,
                                                const std::string& apiPath,
                                                const std::map<std::string, std::string>& params,
                                                std::int64_t now) const
{
    const auto appKey = params.find("app_key");
    if (appKey == params.end() || appKey->second != m_strAppKey)
        return Verdict::UnknownAppKey;
    if (!SignatureHolds(method, apiPath, params))
        return Verdict::BadSignature;

    const auto stamp = params.find("time_stamp");
    if (stamp == params.end() || stamp->second.empty())
        return Verdict::ClockRefused;
    errno = 0;
    char* end = nullptr;
    const long long seconds = std::strtoll(stamp->second.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return Verdict::ClockRefused;
    const std::int64_t skew = now - static_cast<std::int64_t>(seconds);
    if (skew > kMaxClockSkewSeconds || skew < -kMaxClockSkewSeconds)
        return Verdict::ClockRefused;
    return Verdict::Accepted;
}

int RequestVerifier::CodeOf(Verdict verdict)
{
    switch (verdict) {
        case Verdict::Accepted:
            return kCodeOk;
        case Verdict::UnknownAppKey:
            return kCodeUnknownAppKey;
        case Verdict::BadSignature:
            return kCodeBadSignature;
        case Verdict::ClockRefused:
            return kCodeClockRefused;
    }
    return kCodeBadSignature;
}

const char* RequestVerifier::MessageOf(Verdict verdict)
{
    switch (verdict) {
        case Verdict::Accepted:
            return "ok";
        case Verdict::UnknownAppKey:
            return "unknown app_key";
        case Verdict::BadSignature:
            return "signature does not match";
        case Verdict::ClockRefused:
            return "time_stamp is more than 300 s away from the server clock";
    }
    return "";
}
