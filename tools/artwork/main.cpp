// vantora-artwork <outdir>: draws every picture of the skin and writes them in the layout that
// resources/resources.qrc expects (png/<id>.png, gif/170.gif, bitmap/130.bmp, icon/128.png).
// Run it with the "WenQuanYi Micro Hei" font installed; the output is then reproducible.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <cstdio>

#include "BmpWriter.h"
#include "GifWriter.h"
#include "Pictures.h"

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool WritePng(const QString& path, const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG", 9)) {
        std::fprintf(stderr, "cannot encode %s\n", qPrintable(path));
        return false;
    }
    return WriteFile(path, bytes);
}

// Decodes the written GIF again: every pixel must be exactly its palette entry (an encoder fault
// shows here rather than in the banner), and the slides must still look like what was drawn.
bool CheckGif(const EncodedGif& gif, const QList<QImage>& slides)
{
    QBuffer buffer;
    buffer.setData(gif.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "gif");
    int frame = 0;
    for (QImage decoded = reader.read(); !decoded.isNull(); decoded = reader.read(), ++frame) {
        if (frame >= slides.size() || decoded.size() != slides[frame].size()) {
            std::fprintf(stderr, "banner frame %d has the wrong size\n", frame);
            return false;
        }
        const QImage want = slides[frame].convertToFormat(QImage::Format_RGB32);
        const QImage got = decoded.convertToFormat(QImage::Format_RGB32);
        long diff = 0;
        long wrongIndex = 0;
        const QByteArray& indices = gif.indexed[frame];
        for (int y = 0; y < want.height(); ++y) {
            for (int x = 0; x < want.width(); ++x) {
                const QRgb a = want.pixel(x, y);
                const QRgb b = got.pixel(x, y);
                const int index = static_cast<unsigned char>(indices[y * want.width() + x]);
                wrongIndex += (gif.palette[index] & 0xFFFFFF) != (b & 0xFFFFFF);
                diff += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) +
                        qAbs(qBlue(a) - qBlue(b));
            }
        }
        const double mean = double(diff) / (3.0 * want.width() * want.height());
        std::printf("banner frame %d: mean error %.2f per channel\n", frame, mean);
        if (wrongIndex != 0) {
            std::fprintf(stderr, "banner frame %d: %ld pixels decode wrongly\n", frame, wrongIndex);
            return false;
        }
        if (mean > 8.0) {
            std::fprintf(stderr, "banner frame %d does not match its slide\n", frame);
            return false;
        }
    }
    if (frame != slides.size()) {
        std::fprintf(stderr, "banner decodes to %d frames, not %d\n", frame, int(slides.size()));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vantora-artwork <outdir>\n");
        return 2;
    }
    if (!QFontDatabase::families().contains(QStringLiteral("WenQuanYi Micro Hei"))) {
        std::fprintf(stderr, "the font \"WenQuanYi Micro Hei\" is not installed\n");
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (const char* sub : {"png", "gif", "bitmap", "icon"}) {
        if (!out.mkpath(QString::fromLatin1(sub))) {
            std::fprintf(stderr, "cannot create %s/%s\n", argv[1], sub);
            return 1;
        }
    }

    bool ok = true;
    for (const Picture& picture : DrawPngPictures())
        ok &= WritePng(out.filePath(QStringLiteral("png/%1.png").arg(picture.id)), picture.image);
    ok &= WriteFile(out.filePath(QStringLiteral("bitmap/130.bmp")),
                    EncodeBmp32ZeroAlpha(DrawBackground()));
    ok &= WritePng(out.filePath(QStringLiteral("icon/128.png")), DrawAppIcon(48));

    GifSlides banner;
    banner.slides = DrawBannerSlides();
    const EncodedGif gif = EncodeGif(banner);
    ok &= !gif.bytes.isEmpty() && CheckGif(gif, banner.slides) &&
          WriteFile(out.filePath(QStringLiteral("gif/170.gif")), gif.bytes);
    return ok ? 0 : 1;
}
