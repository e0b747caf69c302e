// The one client of the product's web service: signs a request, posts it, returns the reply.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

class ServiceClient
{
public:
    // The one instance, built on first use from the compiled-in key, secret and base URL.
    static ServiceClient& Instance();

    ServiceClient(std::string appKey, std::string appSecret, std::string baseUrl);

    // Posts the signed `params` to baseUrl + "/" + path. `reply` is emptied first, then receives
    // the body as delivered (gzip decoded by libcurl). Returns libcurl's CURLcode (0 = complete).
    int Call(std::string& reply, std::int32_t timeout, std::u16string path, std::u16string params);

    // The signed, form-encoded request body for `params`.
    std::string SignRequest(const std::u16string& path, const std::u16string& method,
                            const std::u16string& params) const;

    // Replaces the clock that supplies the time stamp (tests only); an empty function restores it.
    void SetClockForTesting(std::function<std::time_t()> clock);

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
