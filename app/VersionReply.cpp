#include "VersionReply.h"

#include <json/json.h>

#include <memory>

namespace {

// The replies are flat ({"code":..,"data":{"url":..}}); anything nested deeper is not ours.
constexpr int kNestingLimit = 8;

// A control character in the address would cut or bend the local path built from it (a NUL
// ends it early and names another file).
bool HasControlCharacter(const std::string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F)
            return true;
        // U+0080 to U+009F in UTF-8
        if (byte == 0xC2 && i + 1 < text.size()) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x80 && next <= 0x9F)
                return true;
        }
    }
    return false;
}

}  // namespace

std::optional<std::uint32_t> ReadReplyCode(const Json::Value& code)
{
    if (code.isNull())
        return 0;
    if (code.isBool())
        return code.asBool() ? 1 : 0;
    if (code.isUInt())
        return code.asUInt();
    if (code.isDouble()) {
        const double value = code.asDouble();
        if (value >= 0.0 && value < 4294967296.0)
            return static_cast<std::uint32_t>(value);
    }
    return std::nullopt;
}

VersionReply ParseVersionReply(const std::string& reply)
{
    VersionReply result;
    Json::Value root;
    try {
        Json::CharReaderBuilder builder;
        builder["allowComments"] = true;
        builder["strictRoot"] = false;
        builder["stackLimit"] = kNestingLimit;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        // On failure the reader keeps what it had read so far; that is used as it is.
        if (!reader->parse(reply.data(), reply.data() + reply.size(), &root, &errors))
            result.wellFormed = false;
    } catch (const std::exception&) {
        // Nesting beyond the limit ends up here.
        result.wellFormed = false;
        root = Json::Value();
    }

    if (!root.isNull() && !root.isObject()) {
        result.wellFormed = false;
        return result;
    }
    const std::optional<std::uint32_t> code = ReadReplyCode(root.get("code", Json::Value()));
    if (!code) {
        result.wellFormed = false;
        return result;
    }
    result.code = *code;

    const Json::Value data = root.get("data", Json::Value());
    if (data.isNull())
        return result;
    if (!data.isObject()) {
        result.wellFormed = false;
        return result;
    }
    const Json::Value url = data.get("url", Json::Value());
    if (url.isNull())
        return result;
    if (!url.isString()) {
        result.wellFormed = false;
        return result;
    }
    std::string address = url.asString();
    if (HasControlCharacter(address)) {
        result.wellFormed = false;
        return result;
    }
    result.url = std::move(address);
    return result;
}

std::string InstallerFileName(const std::string& address)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < address.size(); ++i) {
        const char c = address[i];
        const char next = address[i + 1];
        if ((c == '\\' || c == '/' || c == ':') && next != '\\' && next != '/')
            start = i + 1;
    }
    return address.substr(start);
}
