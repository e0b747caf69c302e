// Reading the service's answer to the version query, and the file name of the download
// address. Pure functions: no window, no network.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Json {
class Value;
}

struct VersionReply
{
    // False when the reply does not parse or has a shape the window cannot use (the window
    // then reports a download error).
    bool wellFormed = true;
    std::uint32_t code = 0;  // 1009: the service refused the machine's clock
    std::string url;         // "data"."url", byte for byte; empty when absent
};

VersionReply ParseVersionReply(const std::string& reply);

// "code" as an unsigned 32-bit number: absent or null 0, false 0, true 1, a non-negative number
// truncated. No value for anything else (negative, too large, text, array, object).
std::optional<std::uint32_t> ReadReplyCode(const Json::Value& code);

// The file-name part of an address: after the last "\", "/" or ":" that is followed by a
// character other than "\" and "/"; the whole address when there is none.
std::string InstallerFileName(const std::string& address);
