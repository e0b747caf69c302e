// Utf8ToWide and WideToUtf8 on arbitrary input: no crash, and the properties callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TextConversion.h"

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
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // Decoding never yields more units than bytes, and a decoded text survives a round trip.
    const std::u16string wide = Utf8ToWide(bytes);
    Require(wide.size() <= bytes.size());
    Require(Utf8ToWide(WideToUtf8(wide)) == wide);

    // A text that decoded completely keeps its units when more text follows it.
    if (!wide.empty()) {
        Require(Utf8ToWide(bytes + "A") == wide + u"A");
    }

    // Pure ASCII passes unchanged both ways.
    bool ascii = true;
    for (const char c : bytes) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        Require(wide == std::u16string(bytes.begin(), bytes.end()));
        Require(WideToUtf8(wide) == bytes);
    }

    // Any sequence of 16-bit units, surrogates included, encodes to 1-3 bytes each and back.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
    const std::string encoded = WideToUtf8(units);
    Require(encoded.size() >= units.size() && encoded.size() <= 3 * units.size());
    Require(Utf8ToWide(encoded) == units);
    return 0;
}
