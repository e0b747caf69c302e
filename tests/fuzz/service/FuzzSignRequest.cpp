// Parameter splitting and signing on arbitrary parameter strings: no crash, and the body always
// carries the client's app_key, one signature and the time stamp, each exactly once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "ServiceClient.h"

namespace {

void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first 8 bytes set the clock; the rest is the parameter text. ASCII bytes stay single
    // units so "&" and "=" turn up often; a byte from 0x80 joins the next one into a wide unit.
    std::int64_t clock = 0;
    const std::size_t clockBytes = size < 8 ? size : 8;
    std::memcpy(&clock, data, clockBytes);
    std::u16string params;
    for (std::size_t i = clockBytes; i < size; ++i) {
        if (data[i] < 0x80 || i + 1 == size) {
            params += static_cast<char16_t>(data[i]);
        } else {
            params += static_cast<char16_t>((data[i] << 8) | data[i + 1]);
            ++i;
        }
    }

    static ServiceClient client("KmsTzRbNyHqLfPx", "Tq4NfJw8RzKc2HbYm6PsVd3GxLe9UaZt",
                                "http://127.0.0.1:1");
    client.SetClockForTesting([clock] { return static_cast<std::time_t>(clock); });
    const SignedRequest r = client.SignRequestSteps(u"v1/userop/add", u"POST", params);
    Require(r.body == client.SignRequest(u"v1/userop/add", u"POST", params));
    Require(r.signature.size() == 28 && r.signature.back() == '=');

    // Read the body back with the same token rule the signer splits by.
    std::map<std::string, int> seen;
    std::map<std::string, std::string> values;
    std::size_t pos = 0;
    while (pos <= r.body.size()) {
        std::size_t end = r.body.find('&', pos);
        if (end == std::string::npos) {
            end = r.body.size();
        }
        const std::string token = r.body.substr(pos, end - pos);
        const std::size_t eq = token.size() > 1 ? token.find('=', 1) : std::string::npos;
        Require(eq != std::string::npos);  // every pair in the body survives a re-split
        ++seen[token.substr(0, eq)];
        values[token.substr(0, eq)] = token.substr(eq + 1);
        pos = end + 1;
    }
    for (const char* key : {"app_key", "sign", "time_stamp"}) {
        Require(seen[key] == 1);
    }
    for (const auto& [key, count] : seen) {
        Require(count == 1);
    }
    Require(values["app_key"] == "KmsTzRbNyHqLfPx");
    Require(values["sign"] == UrlEncode(r.signature));
    Require(values["time_stamp"] ==
            std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(clock))));
    return 0;
}
