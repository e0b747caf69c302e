// The two percent-encodings of the request signer (declared in ServiceClient.h).
#include "ServiceClient.h"
#include "TextConversion.h"

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsAsciiAlnum(unsigned value)
{
    return (value >= 'A' && value <= 'Z') || (value >= 'a' && value <= 'z') ||
           (value >= '0' && value <= '9');
}

void AppendEscape(std::string& out, unsigned char byte)
{
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

}  // namespace

std::string UrlEncode(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (IsAsciiAlnum(byte) || byte == '.' || byte == '_' || byte == '-') {
            out += c;
        } else {
            AppendEscape(out, byte);
        }
    }
    return out;
}

std::string UrlEncodeSignValue(const std::string& utf8)
{
    std::string out;
    for (const char16_t unit : Utf8ToWide(utf8)) {
        const unsigned value = unit;
        if (IsAsciiAlnum(value) || value == '!' || value == '*' || value == '(' || value == ')') {
            out += static_cast<char>(value);
        } else if (value < 0x80) {
            AppendEscape(out, static_cast<unsigned char>(value));
        } else {
            // Outside ASCII: one escape per byte of the unit's UTF-8 form, so the signature
            // covers the whole value (an escape of the last byte alone would let values collide).
            for (const char byte : WideToUtf8(std::u16string(1, unit))) {
                AppendEscape(out, static_cast<unsigned char>(byte));
            }
        }
    }
    return out;
}
