#include "GifWriter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

struct Box
{
    std::vector<QRgb> colours;
};

int Channel(QRgb c, int channel)
{
    return channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
}

// The channel with the widest spread and that spread.
std::pair<int, int> WidestChannel(const std::vector<QRgb>& colours)
{
    int best = 0;
    int bestRange = -1;
    for (int ch = 0; ch < 3; ++ch) {
        int lo = 255;
        int hi = 0;
        for (QRgb c : colours) {
            lo = std::min(lo, Channel(c, ch));
            hi = std::max(hi, Channel(c, ch));
        }
        if (hi - lo > bestRange) {
            bestRange = hi - lo;
            best = ch;
        }
    }
    return {best, bestRange};
}

void PutLe16(QByteArray& out, int value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

// Packs variable-width codes least significant bit first, as GIF wants.
class BitPacker
{
public:
    void Put(int code, int width)
    {
        m_acc |= std::uint32_t(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(char(m_acc & 0xFF));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray Finish()
    {
        if (m_bits > 0)
            m_bytes.append(char(m_acc & 0xFF));
        m_acc = 0;
        m_bits = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    std::uint32_t m_acc = 0;
    int m_bits = 0;
};

}  // namespace

QList<QRgb> BuildSharedPalette(const QList<QImage>& slides)
{
    // Sample every pixel once; identical colours weigh as often as they occur.
    std::vector<QRgb> all;
    for (const QImage& slide : slides) {
        const QImage rgb = slide.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < rgb.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
            all.insert(all.end(), line, line + rgb.width());
        }
    }
    std::vector<Box> boxes(1);
    boxes[0].colours = std::move(all);
    while (boxes.size() < 256) {
        // Split the box with the widest channel spread (ties: the bigger box).
        int pick = -1;
        long bestScore = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].colours.size() < 2)
                continue;
            const long score = long(WidestChannel(boxes[i].colours).second) * 1000000L +
                               long(std::min<size_t>(boxes[i].colours.size(), 999999));
            if (score > bestScore) {
                bestScore = score;
                pick = int(i);
            }
        }
        if (pick < 0 || bestScore < 1000000L)
            break;  // nothing left worth splitting
        std::vector<QRgb>& src = boxes[size_t(pick)].colours;
        const int ch = WidestChannel(src).first;
        const size_t mid = src.size() / 2;
        std::nth_element(src.begin(), src.begin() + long(mid), src.end(),
                         [ch](QRgb a, QRgb b) { return Channel(a, ch) < Channel(b, ch); });
        Box upper;
        upper.colours.assign(src.begin() + long(mid), src.end());
        src.resize(mid);
        boxes.push_back(std::move(upper));
    }
    QList<QRgb> palette;
    for (const Box& box : boxes) {
        long r = 0, g = 0, b = 0;
        for (QRgb c : box.colours) {
            r += qRed(c);
            g += qGreen(c);
            b += qBlue(c);
        }
        const long n = std::max<long>(1, long(box.colours.size()));
        palette.append(qRgb(int(r / n), int(g / n), int(b / n)));
    }
    while (palette.size() < 256)
        palette.append(qRgb(0, 0, 0));
    return palette;
}

QByteArray MapToPalette(const QImage& slide, const QList<QRgb>& palette)
{
    const QImage rgb = slide.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width();
    const int h = rgb.height();
    QByteArray indices(w * h, '\0');
    // Error rows for the current and the next line, three channels, one pixel of margin.
    std::vector<std::array<float, 3>> cur(size_t(w + 2)), next(size_t(w + 2));
    for (int y = 0; y < h; ++y) {
        std::fill(next.begin(), next.end(), std::array<float, 3>{0, 0, 0});
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const std::array<float, 3>& e = cur[size_t(x + 1)];
            const float want[3] = {std::clamp(qRed(line[x]) + e[0], 0.f, 255.f),
                                   std::clamp(qGreen(line[x]) + e[1], 0.f, 255.f),
                                   std::clamp(qBlue(line[x]) + e[2], 0.f, 255.f)};
            int best = 0;
            float bestDist = 1e30f;
            for (int i = 0; i < palette.size(); ++i) {
                const float dr = want[0] - qRed(palette[i]);
                const float dg = want[1] - qGreen(palette[i]);
                const float db = want[2] - qBlue(palette[i]);
                const float d = dr * dr * 0.30f + dg * dg * 0.59f + db * db * 0.11f;
                if (d < bestDist) {
                    bestDist = d;
                    best = i;
                }
            }
            indices[y * w + x] = char(best);
            const float err[3] = {want[0] - qRed(palette[best]), want[1] - qGreen(palette[best]),
                                  want[2] - qBlue(palette[best])};
            for (int c = 0; c < 3; ++c) {
                cur[size_t(x + 2)][size_t(c)] += err[c] * 7 / 16;
                next[size_t(x)][size_t(c)] += err[c] * 3 / 16;
                next[size_t(x + 1)][size_t(c)] += err[c] * 5 / 16;
                next[size_t(x + 2)][size_t(c)] += err[c] * 1 / 16;
            }
        }
        std::swap(cur, next);
    }
    return indices;
}

QByteArray LzwCompress(const QByteArray& indices, int minCodeSize)
{
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    // Dictionary: child code of (prefix code, next symbol), 0 for none.
    std::vector<std::uint16_t> child(size_t(4096) << minCodeSize, 0);
    int codeSize = minCodeSize + 1;
    int lastCode = endCode;  // highest code assigned so far
    BitPacker bits;
    bits.Put(clearCode, codeSize);
    int prefix = -1;
    for (char ch : indices) {
        const int symbol = static_cast<unsigned char>(ch) & (clearCode - 1);
        if (prefix < 0) {
            prefix = symbol;
            continue;
        }
        const size_t slot = (size_t(prefix) << minCodeSize) | size_t(symbol);
        if (child[slot] != 0) {
            prefix = child[slot];
            continue;
        }
        bits.Put(prefix, codeSize);
        child[slot] = std::uint16_t(++lastCode);
        if (lastCode >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
        if (lastCode == 4095) {
            // Table full: start afresh so the codes keep adapting to the picture.
            bits.Put(clearCode, codeSize);
            std::fill(child.begin(), child.end(), 0);
            codeSize = minCodeSize + 1;
            lastCode = endCode;
        }
        prefix = symbol;
    }
    if (prefix >= 0) {
        bits.Put(prefix, codeSize);
        // The decoder adds one more entry on reading that code and may widen before the end code.
        if (lastCode + 1 >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
    }
    bits.Put(endCode, codeSize);
    const QByteArray packed = bits.Finish();

    QByteArray out;
    out.append(char(minCodeSize));
    for (qsizetype pos = 0; pos < packed.size(); pos += 255) {
        const qsizetype n = std::min<qsizetype>(255, packed.size() - pos);
        out.append(char(n));
        out.append(packed.mid(pos, n));
    }
    out.append('\0');
    return out;
}

EncodedGif EncodeGif(const GifSlides& gif)
{
    EncodedGif result;
    if (gif.slides.isEmpty())
        return {};
    const QSize size = gif.slides.first().size();
    for (const QImage& slide : gif.slides) {
        if (slide.size() != size)
            return {};
    }
    const QList<QRgb> palette = BuildSharedPalette(gif.slides);
    result.palette = palette;

    QByteArray out("GIF89a");
    PutLe16(out, size.width());
    PutLe16(out, size.height());
    out.append(char(0xF7));  // global table, 8 bits per primary, 256 entries
    out.append('\0');        // background colour index
    out.append('\0');        // no aspect ratio
    for (QRgb c : palette) {
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    for (const QImage& slide : gif.slides) {
        // Graphic control extension: disposal, no user input, no transparent colour.
        out.append(char(0x21));
        out.append(char(0xF9));
        out.append(char(4));
        out.append(char((gif.disposal & 7) << 2));
        PutLe16(out, gif.delay);
        out.append('\0');
        out.append('\0');
        // Image descriptor: full size at (0, 0), no local table, not interlaced.
        out.append(char(0x2C));
        PutLe16(out, 0);
        PutLe16(out, 0);
        PutLe16(out, size.width());
        PutLe16(out, size.height());
        out.append('\0');
        result.indexed.append(MapToPalette(slide, palette));
        out.append(LzwCompress(result.indexed.last()));
    }
    out.append(char(0x3B));
    result.bytes = out;
    return result;
}
