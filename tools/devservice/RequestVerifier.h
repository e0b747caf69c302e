// Checks a signed service request the way the real service does, with OpenSSL and a decoder of
// its own, so that a fault in the client's signer cannot hide behind the same fault here.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class RequestVerifier
{
public:
    enum class Verdict
    {
        Accepted,
        UnknownAppKey,  // missing, or not the key this service knows
        BadSignature,   // missing "sign", or it does not match the parameters
        ClockRefused,   // time stamp missing, not a number, or too far from the server clock
    };

    // Answer codes, as the service sends them in {"code":...}.
    static constexpr int kCodeOk = 0;
    static constexpr int kCodeUnknownAppKey = 1001;
    static constexpr int kCodeBadSignature = 1002;
    static constexpr int kCodeClockRefused = 1009;
    static constexpr std::int64_t kMaxClockSkewSeconds = 300;

    RequestVerifier(std::string appKey, std::string appSecret);

    // Splits a form body into its pairs: keys as sent, values percent-decoded. A piece without
    // "=" after its first byte is dropped, a repeated key keeps its last value.
    static std::map<std::string, std::string> ParseForm(const std::string& body);

    // The signature the client should have sent for `params` (without "sign"), for `method` and
    // the API path (the URL path without its leading "/"), base64 of HMAC-SHA1.
    std::string ExpectedSignature(const std::string& method, const std::string& apiPath,
                                  std::map<std::string, std::string> params) const;

    // The whole check of one request, in the order the service applies it.
    Verdict Check(const std::string& method, const std::string& apiPath,
                  const std::map<std::string, std::string>& params, std::int64_t now) const;

    // True when the signature of `params` holds (app key and clock aside).
    bool SignatureHolds(const std::string& method, const std::string& apiPath,
                        const std::map<std::string, std::string>& params) const;

    static int CodeOf(Verdict verdict);
    static const char* MessageOf(Verdict verdict);

    // Percent-encodings the signer uses: the one for the path and the whole parameter text, and
    // the one for values inside the parameter text.
    static std::string EncodeForSigning(const std::string& bytes);
    static std::string EncodeValueForSigning(const std::string& utf8);

private:
    std::string m_strAppKey;
    std::string m_strAppSecret;
};
