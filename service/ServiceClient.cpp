#include "ServiceClient.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "Base64.h"
#include "CurlEasyHandle.h"
#include "HmacSha1.h"
#include "ServiceConfig.h"
#include "TextConversion.h"

#if __has_include(<QtCore/qglobal.h>)
#error "the service client must not see Qt"
#endif

namespace {

// The call's own write path: the plain append, refused once the reply would pass the cap.
struct ReplySink
{
    std::string* m_pReply;
    bool m_bOverflow = false;
};

std::size_t AppendCapped(char* data, std::size_t size, std::size_t count, void* userdata)
{
    auto* sink = static_cast<ReplySink*>(userdata);
    const std::size_t length = size * count;
    if (length > ServiceClient::kMaxReplyBytes - sink->m_pReply->size()) {
        sink->m_bOverflow = true;
        return 0;  // anything but `length` makes libcurl abort the transfer
    }
    return AppendToString(data, size, count, sink->m_pReply);
}

// A token's key ends at its first "=" at index 1 or later; tokens without one are dropped.
void SplitParameters(const std::string& text, std::map<std::string, std::string>& table)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('&', pos);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view token(text.data() + pos, end - pos);
        const std::size_t eq = token.size() > 1 ? token.find('=', 1) : std::string_view::npos;
        if (eq != std::string_view::npos) {
            table[std::string(token.substr(0, eq))] = std::string(token.substr(eq + 1));
        }
        pos = end + 1;
    }
}

std::string JoinParameters(const std::map<std::string, std::string>& table,
                           std::string (*encode)(const std::string&))
{
    std::string joined;
    for (const auto& [key, value] : table) {
        if (!joined.empty()) {
            joined += '&';
        }
        joined += key;
        joined += '=';
        joined += encode(value);
    }
    return joined;
}

}  // namespace

ServiceClient& ServiceClient::Instance()
{
    static ServiceClient instance(WideToUtf8(kCompiledAppKey), WideToUtf8(kCompiledAppSecret),
                                  WideToUtf8(kCompiledServiceUrl));
    return instance;
}

ServiceClient::ServiceClient(std::string appKey, std::string appSecret, std::string baseUrl)
    : appKey(std::move(appKey)), appSecret(std::move(appSecret)), baseUrl(std::move(baseUrl))
{
}

void ServiceClient::SetClockForTesting(std::function<std::time_t()> clock)
{
    m_clock = std::move(clock);
}

SignedRequest ServiceClient::SignRequestSteps(const std::u16string& path,
                                              const std::u16string& method,
                                              const std::u16string& params) const
{
    const std::time_t now = m_clock ? m_clock() : std::time(nullptr);
    // The service reads the stamp as a signed 32-bit number of seconds.
    const auto stamp = static_cast<std::int32_t>(static_cast<std::uint32_t>(now));

    std::string collected = WideToUtf8(params);
    if (!collected.empty()) {
        collected += '&';
    }
    collected += "app_key=" + appKey + "&time_stamp=" + std::to_string(stamp);

    SignedRequest request;
    SplitParameters(collected, request.parameters);
    request.parameters.erase("sign");
    request.canonical = JoinParameters(request.parameters, UrlEncodeSignValue);

    std::string upperMethod = WideToUtf8(method);
    for (char& c : upperMethod) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    request.stringToSign =
        upperMethod + '&' + UrlEncode(WideToUtf8(path)) + '&' + UrlEncode(request.canonical);

    Sha1Digest digest;
    HmacSha1 hmac;
    hmac.Compute(reinterpret_cast<const std::uint8_t*>(request.stringToSign.data()),
                 request.stringToSign.size(),
                 reinterpret_cast<const std::uint8_t*>(appSecret.data()), appSecret.size(), digest);
    request.signature = Base64EncodeDigest(digest);

    request.parameters["sign"] = request.signature;
    request.body = JoinParameters(request.parameters, UrlEncode);
    return request;
}

std::string ServiceClient::SignRequest(const std::u16string& path, const std::u16string& method,
                                       const std::u16string& params) const
{
    return SignRequestSteps(path, method, params).body;
}

int ServiceClient::Call(std::string& reply, std::int32_t timeout, std::u16string path,
                        std::u16string params)
{
    reply.clear();
    if (timeout <= 0) {
        return CURLE_BAD_FUNCTION_ARGUMENT;  // libcurl would read 0 as "wait forever"
    }
    CurlEasyHandle handle;
    if (!handle) {
        return CURLE_BAD_FUNCTION_ARGUMENT;
    }
    CURL* curl = handle.Get();

    const std::string url = baseUrl + "/" + WideToUtf8(path);
    const std::string body = SignRequest(path, u"POST", params);  // lives until the transfer ends
    const long timeoutMs =
        static_cast<long>(std::min<long long>(static_cast<long long>(timeout) * 1000, LONG_MAX));
    ReplySink sink{&reply};

    CURLcode rc = CURLE_OK;
    // Any refused option fails the call: a transfer without one of them is not the one intended.
    auto set = [&rc](CURLcode result) {
        if (rc == CURLE_OK) {
            rc = result;
        }
    };
    set(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"));
    set(curl_easy_setopt(curl, CURLOPT_POST, 1L));
    set(curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip"));
    set(curl_easy_setopt(curl, CURLOPT_URL, url.c_str()));
    set(curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str()));
    set(curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())));
    set(curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs));
    set(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendCapped));
    set(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink));
    if (rc != CURLE_OK) {
        return rc;
    }

    rc = curl_easy_perform(curl);
    if (sink.m_bOverflow) {
        reply.clear();  // callers parse the reply without looking at the result
        return CURLE_FILESIZE_EXCEEDED;
    }
    return rc;
}

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* userdata)
{
    const std::size_t length = size * count;
    static_cast<std::string*>(userdata)->append(data, length);
    return length;
}
