// The compiled-in resources as the installer finds them, the two ways pictures become drawable,
// and the licence text.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QSet>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CDialogP.h"
#include "GifFrameWalker.h"
#include "ResourceIds.h"
#include "ResourceImages.h"

namespace {

QByteArray ReadResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

unsigned Le16(const QByteArray& b, qsizetype at)
{
    return unsigned(static_cast<unsigned char>(b[at])) |
           unsigned(static_cast<unsigned char>(b[at + 1])) << 8;
}

unsigned Le32(const QByteArray& b, qsizetype at)
{
    return Le16(b, at) | Le16(b, at + 2) << 16;
}

unsigned Be32(const QByteArray& b, qsizetype at)
{
    return unsigned(static_cast<unsigned char>(b[at])) << 24 |
           unsigned(static_cast<unsigned char>(b[at + 1])) << 16 |
           unsigned(static_cast<unsigned char>(b[at + 2])) << 8 |
           unsigned(static_cast<unsigned char>(b[at + 3]));
}

enum class Kind
{
    PngRgba,
    PngRgb
};

struct PngRow
{
    unsigned id;
    int width;
    int height;
    Kind kind;
};

const PngRow kPngs[] = {
    {res::IDP_CLOSE, 10, 10, Kind::PngRgba},
    {res::IDP_MINIMIZE, 10, 10, Kind::PngRgba},
    {res::IDP_PROGRESS_TRACK, 420, 8, Kind::PngRgba},
    {res::IDP_PROGRESS_BAR, 420, 8, Kind::PngRgba},
    {res::IDP_LOGO, 74, 20, Kind::PngRgba},
    {res::IDP_DOWNLOAD, 168, 30, Kind::PngRgba},
    {res::IDP_INSTALL, 168, 30, Kind::PngRgba},
    {res::IDP_FOLDER, 16, 16, Kind::PngRgba},
    {res::IDP_AGREE_TICKED, 17, 17, Kind::PngRgba},
    {res::IDP_AGREE_EMPTY, 17, 17, Kind::PngRgba},
    {res::IDP_INSTALL_GREY, 168, 30, Kind::PngRgba},
    {res::IDP_LICENSE_STRIP, 438, 35, Kind::PngRgb},
    {res::IDP_LICENSE_CLOSE_GLYPH, 10, 10, Kind::PngRgba},
    {res::IDP_LICENSE_CLOSE_BUTTON, 75, 25, Kind::PngRgba},
    {res::IDP_LICENSE_TITLE, 438, 36, Kind::PngRgb},
};

// Checks the PNG's own header (size, 8-bit RGBA or RGB) and what Qt decodes from it.
void ExpectPng(const QString& path, int width, int height, Kind kind)
{
    SCOPED_TRACE(path.toStdString());
    const QByteArray bytes = ReadResource(path);
    ASSERT_GT(bytes.size(), 33) << "missing from the compiled-in resources";
    ASSERT_EQ(bytes.left(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    ASSERT_EQ(bytes.mid(12, 4), QByteArray("IHDR"));
    EXPECT_EQ(Be32(bytes, 16), unsigned(width));
    EXPECT_EQ(Be32(bytes, 20), unsigned(height));
    EXPECT_EQ(int(bytes[24]), 8) << "bit depth";
    EXPECT_EQ(int(bytes[25]), kind == Kind::PngRgba ? 6 : 2) << "colour type (6 RGBA, 2 RGB)";

    QImage image;
    ASSERT_TRUE(image.loadFromData(bytes, "PNG"));
    EXPECT_EQ(image.size(), QSize(width, height));
    EXPECT_EQ(image.hasAlphaChannel(), kind == Kind::PngRgba);
    if (kind == Kind::PngRgba) {
        // Real alpha: some pixel is not fully opaque (antialiased edges, transparent corners).
        const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
        bool translucent = false;
        for (int y = 0; y < argb.height() && !translucent; ++y) {
            for (int x = 0; x < argb.width() && !translucent; ++x)
                translucent = qAlpha(argb.pixel(x, y)) < 255;
        }
        EXPECT_TRUE(translucent);
    }
}

TEST(Resources, EveryPngHasItsSizeAndPixelFormat)
{
    for (const PngRow& row : kPngs)
        ExpectPng(QStringLiteral(":/PNG/%1").arg(row.id), row.width, row.height, row.kind);
}

TEST(Resources, PngFolderHoldsExactlyTheSkinPictures)
{
    QSet<QString> want;
    for (const PngRow& row : kPngs)
        want.insert(QString::number(row.id));
    QSet<QString> have;
    for (QDirIterator it(QStringLiteral(":/PNG")); it.hasNext();)
        have.insert(QFileInfo(it.next()).fileName());
    EXPECT_EQ(have, want);
}

TEST(Resources, IconIsAnRgbaPng)
{
    const QByteArray bytes = ReadResource(QStringLiteral(":/ICON/%1").arg(res::IDR_MAINFRAME));
    ASSERT_GT(bytes.size(), 33);
    const int side = int(Be32(bytes, 16));
    EXPECT_TRUE(side == 32 || side == 48) << side;
    ExpectPng(QStringLiteral(":/ICON/%1").arg(res::IDR_MAINFRAME), side, side, Kind::PngRgba);
}

TEST(Resources, BackgroundIsA32BitBitmapWithZeroAlphaBytes)
{
    const QByteArray bytes = ReadResource(QStringLiteral(":/BITMAP/%1").arg(res::IDB_BACKGROUND));
    ASSERT_GE(bytes.size(), 54);
    ASSERT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(Le32(bytes, 2), unsigned(bytes.size()));
    const unsigned offset = Le32(bytes, 10);
    EXPECT_EQ(Le32(bytes, 14), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(Le32(bytes, 18), 479u);
    EXPECT_EQ(Le32(bytes, 22), 383u);
    EXPECT_EQ(Le16(bytes, 28), 32u) << "bits per pixel";
    EXPECT_EQ(Le32(bytes, 30), 0u) << "uncompressed";
    ASSERT_EQ(qsizetype(offset) + 479 * 383 * 4, bytes.size());
    qsizetype nonZeroAlpha = 0;
    for (qsizetype at = offset + 3; at < bytes.size(); at += 4)
        nonZeroAlpha += bytes[at] != 0;
    EXPECT_EQ(nonZeroAlpha, 0);

    // Decoded, the zero alpha bytes do not make the panel transparent.
    QImage image;
    ASSERT_TRUE(image.loadFromData(bytes, "BMP"));
    EXPECT_EQ(image.size(), QSize(479, 383));
    EXPECT_FALSE(image.hasAlphaChannel());
}

// The banner as the installer's own walker cuts it: four slides, each a control extension and a
// full-size image, each stream decodable on its own.
TEST(Resources, BannerGifHasFourFullSizeSlidesOfThreeSeconds)
{
    const QByteArray gif = ReadResource(QStringLiteral(":/GIF/%1").arg(res::IDG_BANNER));
    ASSERT_GT(gif.size(), 13 + 768);
    ASSERT_EQ(gif.left(6), QByteArray("GIF89a"));
    const unsigned packed = static_cast<unsigned char>(gif[10]);
    EXPECT_EQ(packed & 0x87, 0x87u) << "a global colour table of 256 entries";
    EXPECT_EQ(static_cast<unsigned char>(gif.back()), 0x3B) << "ends with the trailer";

    GifFrameWalker walker;
    const auto* data = reinterpret_cast<const std::uint8_t*>(gif.constData());
    ASSERT_TRUE(walker.Begin(data, size_t(gif.size())));
    EXPECT_EQ(walker.ScreenWidth(), 479);
    EXPECT_EQ(walker.ScreenHeight(), 236);
    EXPECT_EQ(walker.ColorTableBytes(), 768u);

    const size_t head = 13 + 768;
    std::vector<QImage> slides;
    while (std::optional<GifFrameStream> frame = walker.ExtractGraphicBlock()) {
        SCOPED_TRACE("frame " + std::to_string(slides.size()));
        EXPECT_EQ(frame->delay, 300u);
        EXPECT_EQ(frame->disposal, 1u);
        EXPECT_EQ(frame->left, 0);
        EXPECT_EQ(frame->top, 0);
        EXPECT_EQ(frame->width, 479);
        EXPECT_EQ(frame->height, 236);
        const std::vector<std::uint8_t>& s = frame->stream;
        ASSERT_GT(s.size(), head + 8 + 11 + 1);
        EXPECT_TRUE(std::equal(s.begin(), s.begin() + long(head), data)) << "header copied";
        // The frame's own blocks: control extension (no transparent colour), then the image
        // descriptor without a local table.
        EXPECT_EQ(s[head], 0x21);
        EXPECT_EQ(s[head + 1], 0xF9);
        EXPECT_EQ(s[head + 3] & 1, 0) << "no transparent colour";
        EXPECT_EQ(s[head + 8], 0x2C);
        EXPECT_EQ(s[head + 8 + 9] & 0x80, 0) << "no local colour table";
        EXPECT_EQ(s.back(), 0x3B);

        QImage decoded;
        ASSERT_TRUE(decoded.loadFromData(s.data(), int(s.size()), "GIF"));
        EXPECT_EQ(decoded.size(), QSize(479, 236));
        slides.push_back(decoded.convertToFormat(QImage::Format_RGB32));
    }
    ASSERT_EQ(slides.size(), 4u);
    for (size_t i = 0; i < slides.size(); ++i) {
        for (size_t j = i + 1; j < slides.size(); ++j)
            EXPECT_NE(slides[i], slides[j]) << "slides " << i << " and " << j << " look alike";
    }
}

TEST(Resources, BannerDecodesWholeToFourSlides)
{
    QBuffer buffer;
    buffer.setData(ReadResource(QStringLiteral(":/GIF/%1").arg(res::IDG_BANNER)));
    ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
    QImageReader reader(&buffer, "gif");
    int frames = 0;
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read(), ++frames) {
        EXPECT_EQ(frame.size(), QSize(479, 236));
        EXPECT_EQ(reader.nextImageDelay(), 3000);
    }
    EXPECT_EQ(frames, 4) << reader.errorString().toStdString();
}

// --- licence text ------------------------------------------------------------------------

int Count(const std::u16string& text, const std::u16string& word)
{
    int n = 0;
    for (size_t at = text.find(word); at != std::u16string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

std::vector<std::u16string> SplitCrlf(const std::u16string& text)
{
    std::vector<std::u16string> lines;
    size_t start = 0;
    for (size_t at = text.find(u"\r\n"); at != std::u16string::npos;
         at = text.find(u"\r\n", start)) {
        lines.push_back(text.substr(start, at - start));
        start = at + 2;
    }
    lines.push_back(text.substr(start));
    return lines;
}

bool StartsWith(const std::u16string& s, const std::u16string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

TEST(LicenceText, HasTheAgreementsShape)
{
    const std::u16string& text = LicenceText();
    EXPECT_EQ(text.size(), 1038u);
    EXPECT_EQ(Count(text, u"Meridale"), 7);
    EXPECT_EQ(Count(text, u"Vantora"), 0);

    const std::vector<std::u16string> lines = SplitCrlf(text);
    ASSERT_EQ(lines.size(), 21u);
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        EXPECT_EQ(lines[i].find_first_of(u"\r\n"), std::u16string::npos) << "lone CR or LF";
    }
    EXPECT_EQ(lines[0], u"您好：");
    const std::u16string para(8, u' ');
    const std::u16string term(4, u' ');
    for (size_t i : {1, 2, 11, 12, 13, 14, 15, 16}) {
        SCOPED_TRACE("paragraph line " + std::to_string(i + 1));
        EXPECT_TRUE(StartsWith(lines[i], para));
        EXPECT_NE(lines[i][8], u' ');
    }
    for (size_t i : {3, 4, 5}) {
        SCOPED_TRACE("term line " + std::to_string(i + 1));
        EXPECT_TRUE(StartsWith(lines[i], term + std::u16string(1, char16_t(u'1' + (i - 3)))));
    }
    EXPECT_EQ(lines[6], u"    您不得 :");
    for (size_t i = 7; i <= 10; ++i)
        EXPECT_TRUE(StartsWith(lines[i], u"    *")) << "line " << i + 1;
    EXPECT_EQ(lines[17], u"");
    EXPECT_EQ(lines[18], u"谢谢！");
    EXPECT_EQ(lines[19], u"");
    EXPECT_TRUE(StartsWith(lines[20], u"\t\t ")) << "signature indented by two tabs and spaces";
    EXPECT_NE(lines[20].find(u"Meridale 软件有限公司"), std::u16string::npos);
}

// --- the CImage route --------------------------------------------------------------------

struct Bgra
{
    std::uint8_t b, g, r, a;
};

TEST(PremultiplyAlpha, TruncatesEachChannelByAlpha)
{
    struct Case
    {
        const char* name;
        Bgra in;
        Bgra out;
    };
    const Case cases[] = {
        {"opaque pixel stays", {10, 200, 255, 255}, {10, 200, 255, 255}},
        {"transparent pixel turns black", {255, 128, 7, 0}, {0, 0, 0, 0}},
        {"blue 255 at alpha 128 becomes 128", {255, 0, 0, 128}, {128, 0, 0, 128}},
        {"blue 1 at alpha 254 truncates to 0", {1, 0, 0, 254}, {0, 0, 0, 254}},
        {"every channel truncates", {200, 100, 3, 100}, {78, 39, 1, 100}},
    };
    QImage image(int(std::size(cases)), 2, QImage::Format_ARGB32);
    for (int y = 0; y < 2; ++y) {
        auto* line = reinterpret_cast<Bgra*>(image.scanLine(y));
        for (size_t i = 0; i < std::size(cases); ++i)
            line[i] = cases[i].in;
    }
    const QImage untouched = image;  // a shared copy must keep its pixels
    PremultiplyAlpha(image);
    EXPECT_EQ(image.format(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 2; ++y) {  // every row, not only the first
        const auto* line = reinterpret_cast<const Bgra*>(image.constScanLine(y));
        const auto* before = reinterpret_cast<const Bgra*>(untouched.constScanLine(y));
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(std::string(cases[i].name) + ", row " + std::to_string(y));
            EXPECT_EQ(line[i].b, cases[i].out.b);
            EXPECT_EQ(line[i].g, cases[i].out.g);
            EXPECT_EQ(line[i].r, cases[i].out.r);
            EXPECT_EQ(line[i].a, cases[i].out.a);
            EXPECT_EQ(before[i].b, cases[i].in.b);
        }
    }
    // A second call finds a premultiplied image and leaves it alone.
    const QImage once = image;
    PremultiplyAlpha(image);
    EXPECT_EQ(image, once);
}

TEST(PremultiplyAlpha, LeavesOtherFormatsAlone)
{
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888,
                                  QImage::Format_Grayscale8, QImage::Format_ARGB32_Premultiplied}) {
        SCOPED_TRACE(int(format));
        QImage image(3, 3, format);
        image.fill(QColor(200, 100, 50));
        const QImage before = image.copy();
        PremultiplyAlpha(image);
        EXPECT_EQ(image.format(), format);
        EXPECT_EQ(image, before);
    }
}

TEST(LoadPngResourceImage, AlphaPicturesArePremultipliedByTruncation)
{
    for (const PngRow& row : kPngs) {
        SCOPED_TRACE(row.id);
        std::unique_ptr<QImage> image(LoadPngResourceImage(row.id));
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->size(), QSize(row.width, row.height));
        QImage straight(QStringLiteral(":/PNG/%1").arg(row.id));
        if (row.kind == Kind::PngRgb) {
            EXPECT_FALSE(image->hasAlphaChannel());
            EXPECT_EQ(image->convertToFormat(QImage::Format_RGB32),
                      straight.convertToFormat(QImage::Format_RGB32));
            continue;
        }
        ASSERT_EQ(image->format(), QImage::Format_ARGB32_Premultiplied);
        straight = straight.convertToFormat(QImage::Format_ARGB32);
        int mismatches = 0;
        for (int y = 0; y < row.height; ++y) {
            const auto* got = reinterpret_cast<const QRgb*>(image->constScanLine(y));
            const auto* src = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
            for (int x = 0; x < row.width; ++x) {
                const int a = qAlpha(src[x]);
                const QRgb want = qRgba(qRed(src[x]) * a / 255, qGreen(src[x]) * a / 255,
                                        qBlue(src[x]) * a / 255, a);
                mismatches += got[x] != want;
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(LoadPngResourceImage, MissingPictureGivesAnEmptyImage)
{
    for (unsigned id : {0u, 170u, 999u}) {  // 170 exists, but as a GIF
        SCOPED_TRACE(id);
        std::unique_ptr<QImage> image(LoadPngResourceImage(id));
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(image->isNull());
        EXPECT_EQ(image->size(), QSize(0, 0));
    }
}

TEST(LoadPngResourceImage, EachLoadIsAnIndependentImage)
{
    std::unique_ptr<QImage> first(LoadPngResourceImage(res::IDP_INSTALL));
    std::unique_ptr<QImage> second(LoadPngResourceImage(res::IDP_INSTALL));
    ASSERT_NE(first.get(), second.get());
    ASSERT_EQ(*first, *second);
    const QImage pristine = second->copy();
    first->fill(Qt::red);
    EXPECT_EQ(*second, pristine);
    std::unique_ptr<QImage> third(LoadPngResourceImage(res::IDP_INSTALL));
    EXPECT_EQ(*third, pristine);
}

// --- the drawing route ---------------------------------------------------------------------

const QRgb kSentinel = qRgb(0, 255, 0);

QImage Target()
{
    QImage target(200, 60, QImage::Format_ARGB32_Premultiplied);
    target.fill(kSentinel);
    return target;
}

// What the target looks like with the whole picture drawn at the origin, for comparison.
QImage WholePictureAtOrigin(unsigned id)
{
    QImage target = Target();
    QPainter p(&target);
    p.drawImage(0, 0, QImage(QStringLiteral(":/PNG/%1").arg(id)));
    return target;
}

TEST(DrawResourceImage, CopiesOneToOneUnderTheRectangle)
{
    struct Case
    {
        const char* name;
        QRect rect;
        QRect shown;  // where the picture shows; everything else keeps the sentinel
    };
    // Picture 153 is 74 x 20 and its columns differ, so a shifted source shows.
    const Case cases[] = {
        {"zero width draws nothing", QRect(10, 0, 0, 20), QRect()},
        {"taller rectangle draws the picture's height only", QRect(0, 0, 74, 50),
         QRect(0, 0, 74, 20)},
        {"left edge not 0 shows the picture from that x", QRect(30, 0, 20, 20),
         QRect(30, 0, 20, 20)},
        {"wider than the picture stops at its edge", QRect(60, 0, 100, 20), QRect(60, 0, 14, 20)},
        {"rect.bottom above the picture's height plays no part", QRect(0, 0, 40, 5),
         QRect(0, 0, 40, 20)},
    };
    const QImage whole = WholePictureAtOrigin(res::IDP_LOGO);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QImage target = Target();
        {
            QPainter p(&target);
            EXPECT_TRUE(DrawResourceImage(&p, "PNG", res::IDP_LOGO, c.rect));
        }
        int wrong = 0;
        for (int y = 0; y < target.height(); ++y) {
            for (int x = 0; x < target.width(); ++x) {
                const QRgb want = c.shown.contains(x, y) ? whole.pixel(x, y) : kSentinel;
                wrong += target.pixel(x, y) != want;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST(DrawResourceImage, MissingResourceDrawsNothingAndFails)
{
    struct Case
    {
        const char* type;
        unsigned id;
    };
    for (const Case& c : {Case{"PNG", 999}, Case{"GIF", res::IDP_LOGO}, Case{"PNG", 170}}) {
        SCOPED_TRACE(std::string(c.type) + "/" + std::to_string(c.id));
        QImage target = Target();
        const QImage before = target.copy();
        {
            QPainter p(&target);
            EXPECT_FALSE(DrawResourceImage(&p, c.type, c.id, QRect(0, 0, 100, 40)));
        }
        EXPECT_EQ(target, before);
        EXPECT_EQ(LoadResourceImageGdiplus(c.type, c.id), nullptr);
    }
}

TEST(DrawResourceImage, OnlyTheLowSixteenBitsOfTheIdCount)
{
    QImage target = Target();
    {
        QPainter p(&target);
        EXPECT_TRUE(DrawResourceImage(&p, "PNG", 0x30000u + res::IDP_LOGO, QRect(0, 0, 74, 20)));
    }
    EXPECT_EQ(target, WholePictureAtOrigin(res::IDP_LOGO));
}

TEST(DrawResourceImage, WithoutPainterStillReportsTheLoad)
{
    EXPECT_TRUE(DrawResourceImage(nullptr, "PNG", res::IDP_PROGRESS_BAR, QRect(0, 0, 10, 8)));
    EXPECT_FALSE(DrawResourceImage(nullptr, "PNG", 999, QRect(0, 0, 10, 8)));
}

TEST(LoadResourceImageGdiplus, DecodesOnceAndKeepsThePicture)
{
    const QImage* first = LoadResourceImageGdiplus("PNG", res::IDP_PROGRESS_TRACK);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size(), QSize(420, 8));
    EXPECT_EQ(LoadResourceImageGdiplus("PNG", res::IDP_PROGRESS_TRACK), first);
    const QImage* other = LoadResourceImageGdiplus("PNG", res::IDP_PROGRESS_BAR);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(other, first);
    EXPECT_NE(*other, *first);
}

}  // namespace
