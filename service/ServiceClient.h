// The one client of the product's web service: signs a request, posts it, returns the reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <string>

// Every step of one signature, for callers that need more than the body (tests, diagnostics).
struct SignedRequest
{
    std::map<std::string, std::string> parameters;  // the table, "sign" included, in body order
    std::string canonical;                          // the sorted parameter string that is signed
    std::string stringToSign;                       // method, path and parameters, encoded
    std::string signature;                          // base64 HMAC-SHA1 of stringToSign, 28 chars
    std::string body;                               // the form-encoded request body
};

class ServiceClient
{
public:
    // The one instance, built on first use from the compiled-in key, secret and base URL.
    static ServiceClient& Instance();

    ServiceClient(std::string appKey, std::string appSecret, std::string baseUrl);

    // Posts the signed `params` to baseUrl + "/" + path. `reply` is emptied first, then receives
    // the body as delivered (gzip decoded by libcurl). Returns libcurl's CURLcode (0 = complete).
    // Only http and https are spoken and redirects are not followed (CURLE_UNSUPPORTED_PROTOCOL
    // for any other scheme). A reply of more than kMaxReplyBytes decoded bytes fails the call
    // with CURLE_FILESIZE_EXCEEDED and an empty reply. A timeout that is not positive, or any
    // option libcurl refuses, fails it before a connection is made (CURLE_BAD_FUNCTION_ARGUMENT
    // or libcurl's own code).
    int Call(std::string& reply, std::int32_t timeout, std::u16string path, std::u16string params);

    // The signed, form-encoded request body for `params`.
    std::string SignRequest(const std::u16string& path, const std::u16string& method,
                            const std::u16string& params) const;

    // SignRequest with every intermediate text kept.
    SignedRequest SignRequestSteps(const std::u16string& path, const std::u16string& method,
                                   const std::u16string& params) const;

    // Replaces the clock that supplies the time stamp (tests only); an empty function restores it.
    void SetClockForTesting(std::function<std::time_t()> clock);

    // The service answers with small JSON texts; anything larger is refused.
    static constexpr std::size_t kMaxReplyBytes = std::size_t{1} << 20;

    const std::string appKey;
    const std::string appSecret;
    const std::string baseUrl;

private:
    std::function<std::time_t()> m_clock;
};

// libcurl write callback: appends size * count bytes to the std::string at `userdata`.
std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* userdata);

// The two percent-encodings of the signer.
std::string UrlEncode(const std::string& bytes);
std::string UrlEncodeSignValue(const std::string& utf8);
