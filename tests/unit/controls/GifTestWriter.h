// Test helper: writes small GIF pieces byte by byte, so a test can lay out exactly the block
// sequence it needs (and know where each block lies). Image data is real LZW that any GIF reader
// decodes: 8-bit codes sent as 9-bit literals with a clear code often enough that the code width
// never grows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace giftest {

using Bytes = std::vector<std::uint8_t>;

inline void PutWord(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// Splits `data` into sub-blocks of at most 255 bytes and closes the chain with a zero byte.
inline void PutChain(Bytes& out, const Bytes& data)
{
    for (std::size_t at = 0; at < data.size(); at += 255) {
        std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    }
    out.push_back(0);
}

inline void PutTable(Bytes& out, const std::vector<std::uint32_t>& rgb)
{
    for (std::uint32_t c : rgb) {
        out.push_back(static_cast<std::uint8_t>(c >> 16));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
        out.push_back(static_cast<std::uint8_t>(c));
    }
}

// Bits 0 to 2 of a packed field for a table of `entries` colours (a power of two, 2 to 256).
inline std::uint8_t TableBits(std::size_t entries)
{
    std::uint8_t n = 0;
    while ((2u << n) < entries)
        ++n;
    return n;
}

// Header, logical screen descriptor and (when `palette` is not empty) the global colour table.
// The palette must hold a power of two of colours.
inline Bytes Header(unsigned width, unsigned height, const std::vector<std::uint32_t>& palette,
                    std::uint8_t background = 0)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    PutWord(out, width);
    PutWord(out, height);
    out.push_back(palette.empty() ? 0
                                  : static_cast<std::uint8_t>(0x80 | TableBits(palette.size())));
    out.push_back(background);
    out.push_back(0);  // aspect ratio
    PutTable(out, palette);
    return out;
}

inline Bytes AppExtension(const std::string& idAndCode, const Bytes& data)
{
    Bytes out = {0x21, 0xFF, 0x0B};
    std::string id = idAndCode;
    id.resize(11, ' ');
    out.insert(out.end(), id.begin(), id.end());
    PutChain(out, data);
    return out;
}

inline Bytes LoopCount(unsigned loops)
{
    return AppExtension("NETSCAPE2.0", {1, static_cast<std::uint8_t>(loops & 0xFF),
                                        static_cast<std::uint8_t>(loops >> 8)});
}

inline Bytes Comment(const std::string& text)
{
    Bytes out = {0x21, 0xFE};
    PutChain(out, Bytes(text.begin(), text.end()));
    return out;
}

// A graphic control extension; `transparent` < 0 means no transparent colour.
inline Bytes Control(unsigned disposal, unsigned delay, int transparent = -1)
{
    Bytes out = {0x21, 0xF9, 0x04};
    out.push_back(static_cast<std::uint8_t>(((disposal & 7) << 2) | (transparent >= 0 ? 1 : 0)));
    PutWord(out, delay);
    out.push_back(static_cast<std::uint8_t>(transparent >= 0 ? transparent : 0));
    out.push_back(0);
    return out;
}

inline Bytes PlainText(unsigned left, unsigned top, unsigned width, unsigned height,
                       const std::string& text)
{
    Bytes out = {0x21, 0x01, 0x0C};
    PutWord(out, left);
    PutWord(out, top);
    PutWord(out, width);
    PutWord(out, height);
    out.insert(out.end(), {8, 8, 1, 0});  // cell size, foreground, background
    PutChain(out, Bytes(text.begin(), text.end()));
    return out;
}

// LZW data of colour indices, minimum code size 8.
inline Bytes Lzw(const Bytes& indices)
{
    Bytes out = {8};
    Bytes packed;
    std::uint32_t acc = 0;
    int bits = 0;
    auto put = [&](unsigned code) {
        acc |= code << bits;
        bits += 9;
        while (bits >= 8) {
            packed.push_back(static_cast<std::uint8_t>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    constexpr unsigned kClear = 256, kEnd = 257;
    for (std::size_t at = 0; at < indices.size(); ++at) {
        if (at % 250 == 0)
            put(kClear);  // keeps the dictionary below 512 entries: codes stay 9 bits wide
        put(indices[at]);
    }
    if (indices.empty())
        put(kClear);
    put(kEnd);
    if (bits > 0)
        packed.push_back(static_cast<std::uint8_t>(acc & 0xFF));
    PutChain(out, packed);
    return out;
}

// An image descriptor with its (optional) local colour table and image data.
inline Bytes Image(unsigned left, unsigned top, unsigned width, unsigned height,
                   const Bytes& indices, const std::vector<std::uint32_t>& localPalette = {})
{
    Bytes out = {0x2C};
    PutWord(out, left);
    PutWord(out, top);
    PutWord(out, width);
    PutWord(out, height);
    out.push_back(localPalette.empty()
                      ? 0
                      : static_cast<std::uint8_t>(0x80 | TableBits(localPalette.size())));
    PutTable(out, localPalette);
    Bytes data = Lzw(indices);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// A frame filled with one colour index.
inline Bytes SolidImage(unsigned left, unsigned top, unsigned width, unsigned height,
                        std::uint8_t index)
{
    return Image(left, top, width, height, Bytes(std::size_t(width) * height, index));
}

inline Bytes Trailer()
{
    return {0x3B};
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

}  // namespace giftest
