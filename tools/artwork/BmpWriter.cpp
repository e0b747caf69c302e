#include "BmpWriter.h"

#include <cstdint>

namespace {

void PutLe(QByteArray& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

}  // namespace

QByteArray EncodeBmp32ZeroAlpha(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const std::uint32_t w = std::uint32_t(rgb.width());
    const std::uint32_t h = std::uint32_t(rgb.height());
    const std::uint32_t pixelBytes = w * h * 4;
    const std::uint32_t offset = 14 + 40;

    QByteArray out;
    out.reserve(int(offset + pixelBytes));
    // BITMAPFILEHEADER
    out.append("BM", 2);
    PutLe(out, offset + pixelBytes, 4);
    PutLe(out, 0, 4);  // reserved
    PutLe(out, offset, 4);
    // BITMAPINFOHEADER: bottom-up rows, 32 bits, BI_RGB, 72 dpi.
    PutLe(out, 40, 4);
    PutLe(out, w, 4);
    PutLe(out, h, 4);
    PutLe(out, 1, 2);
    PutLe(out, 32, 2);
    PutLe(out, 0, 4);
    PutLe(out, pixelBytes, 4);
    PutLe(out, 2835, 4);
    PutLe(out, 2835, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    for (int y = int(h) - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (std::uint32_t x = 0; x < w; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
            out.append('\0');
        }
    }
    return out;
}
