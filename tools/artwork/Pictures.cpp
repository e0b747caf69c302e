#include "Pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

const char* const kFontFamily = "WenQuanYi Micro Hei";

const QColor kBlueTop(0x3d, 0x9b, 0xfa);
const QColor kBlueBottom(0x1c, 0x76, 0xe3);
const QColor kBlueEdge(0x17, 0x66, 0xc8);
const QColor kGlyphGrey(0xd9, 0xdd, 0xe3);
const QColor kFrameGrey(0xc3, 0xc8, 0xcf);

QImage Blank(int w, int h, bool alpha)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.fill(alpha ? Qt::transparent : Qt::white);
    return image;
}

QFont Font(qreal pixelSize, bool bold = false)
{
    QFont font(kFontFamily);
    font.setPixelSize(qRound(pixelSize));
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The largest font up to `pixelSize` whose rendering of `text` fits into `width`.
QFont FittingFont(const QString& text, qreal pixelSize, qreal width, bool bold = false)
{
    QFont font = Font(pixelSize, bold);
    while (font.pixelSize() > 6 && QFontMetricsF(font).horizontalAdvance(text) > width)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

void Prepare(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

QImage Button(int w, int h, const QColor& top, const QColor& bottom, const QColor& edge,
              const QString& caption, const QColor& textColour, qreal textSize)
{
    QImage image = Blank(w, h, true);
    QPainter p(&image);
    Prepare(p);
    const QRectF body(0.5, 0.5, w - 1.0, h - 1.0);
    QLinearGradient fill(0, 0, 0, h);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawRoundedRect(body, 4, 4);
    // A faint highlight along the top edge gives the button some depth.
    p.setPen(QPen(QColor(255, 255, 255, 60), 1));
    p.drawLine(QPointF(4, 1.5), QPointF(w - 4, 1.5));
    p.setFont(Font(textSize));
    p.setPen(textColour);
    p.drawText(QRectF(0, 0, w, h - 1), Qt::AlignCenter, caption);
    return image;
}

QImage CrossGlyph(const QColor& colour)
{
    QImage image = Blank(10, 10, true);
    QPainter p(&image);
    Prepare(p);
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(1.5, 1.5), QPointF(8.5, 8.5));
    p.drawLine(QPointF(8.5, 1.5), QPointF(1.5, 8.5));
    return image;
}

QImage DashGlyph(const QColor& colour)
{
    QImage image = Blank(10, 10, true);
    QPainter p(&image);
    Prepare(p);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(1, 4.2, 8, 1.6), 0.8, 0.8);
    return image;
}

QImage Track(const QColor& top, const QColor& bottom)
{
    QImage image = Blank(420, 8, true);
    QPainter p(&image);
    Prepare(p);
    QLinearGradient fill(0, 0, 0, 8);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0, 0, 420, 8), 4, 4);
    return image;
}

// The product's mark: a red rounded square with a white "V" stroke.
void DrawMark(QPainter& p, const QRectF& r)
{
    QLinearGradient red(r.topLeft(), r.bottomRight());
    red.setColorAt(0, QColor(0xf2, 0x4b, 0x4b));
    red.setColorAt(1, QColor(0xc9, 0x1f, 0x2c));
    p.setPen(Qt::NoPen);
    p.setBrush(red);
    p.drawRoundedRect(r, r.width() * 0.22, r.height() * 0.22);
    QPainterPath v;
    v.moveTo(r.left() + r.width() * 0.25, r.top() + r.height() * 0.28);
    v.lineTo(r.center().x(), r.top() + r.height() * 0.74);
    v.lineTo(r.right() - r.width() * 0.25, r.top() + r.height() * 0.28);
    p.setPen(QPen(Qt::white, r.width() * 0.13, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(v);
}

QImage Logo()
{
    QImage image = Blank(74, 20, true);
    QPainter p(&image);
    Prepare(p);
    DrawMark(p, QRectF(1, 2, 16, 16));
    const QString name = QStringLiteral("Vantora");
    p.setFont(FittingFont(name, 14, 74 - 21, true));
    p.setPen(Qt::white);
    p.drawText(QRectF(20, 0, 54, 20), Qt::AlignVCenter | Qt::AlignLeft, name);
    return image;
}

QImage FolderGlyph()
{
    QImage image = Blank(16, 16, true);
    QPainter p(&image);
    Prepare(p);
    QPainterPath back;
    back.moveTo(1.5, 3);
    back.lineTo(6, 3);
    back.lineTo(7.5, 4.5);
    back.lineTo(14.5, 4.5);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x7e, 0x84, 0x8d));
    p.drawPath(back);
    QPainterPath front;
    front.addRoundedRect(QRectF(1.5, 6.5, 13, 7), 1, 1);
    p.setBrush(QColor(0xa3, 0xa9, 0xb1));
    p.drawPath(front);
    return image;
}

QImage CheckBox(bool ticked)
{
    QImage image = Blank(17, 17, true);
    QPainter p(&image);
    Prepare(p);
    p.setPen(QPen(kFrameGrey, 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0.5, 0.5, 16, 16), 2, 2);
    if (ticked) {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlueBottom);
        p.drawRoundedRect(QRectF(3, 3, 11, 11), 1.5, 1.5);
        QPainterPath tick;
        tick.moveTo(5.3, 8.6);
        tick.lineTo(7.6, 10.8);
        tick.lineTo(11.8, 6.2);
        p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    return image;
}

QImage LicenceStrip()
{
    QImage image = Blank(438, 35, false);
    QPainter p(&image);
    p.setPen(QColor(0xdc, 0xdf, 0xe3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, 437, 34);
    return image;
}

QImage LicenceTitle()
{
    QImage image = Blank(438, 36, false);
    QPainter p(&image);
    Prepare(p);
    QLinearGradient fill(0, 0, 0, 36);
    fill.setColorAt(0, QColor(0x33, 0x92, 0xf4));
    fill.setColorAt(1, QColor(0x1d, 0x77, 0xe2));
    p.fillRect(image.rect(), fill);
    p.setFont(Font(14));
    p.setPen(Qt::white);
    p.drawText(QRectF(14, 0, 380, 36), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("《Meridale》软件许可协议"));
    return image;
}

// --- banner slides -------------------------------------------------------------------------

const int kSlideW = 479;
const int kSlideH = 236;

void SlideBackground(QPainter& p, const QColor& from, const QColor& to)
{
    QLinearGradient fill(0, 0, kSlideW, kSlideH);
    fill.setColorAt(0, from);
    fill.setColorAt(1, to);
    p.fillRect(QRect(0, 0, kSlideW, kSlideH), fill);
    // A soft glow keeps the gradient from looking flat; it stays clear of the top-right corner,
    // where the light grey window glyphs sit.
    QRadialGradient glow(QPointF(kSlideW * 0.62, kSlideH * 0.62), kSlideW * 0.5);
    glow.setColorAt(0, QColor(255, 255, 255, 70));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, kSlideW, kSlideH), glow);
}

void SlideTexts(QPainter& p, const QString& title, const QString& subtitle, qreal titleSize)
{
    p.setPen(QColor(0, 0, 0, 40));
    p.setFont(FittingFont(title, titleSize, 280, true));
    p.drawText(QPointF(42 + 1.5, 128 + 2), title);
    p.setPen(Qt::white);
    p.drawText(QPointF(42, 128), title);
    p.setFont(FittingFont(subtitle, 18, 300));
    p.setPen(QColor(255, 255, 255, 225));
    p.drawText(QPointF(44, 164), subtitle);
}

void Pill(QPainter& p, const QRectF& r, const QString& text)
{
    p.setPen(QPen(QColor(255, 255, 255, 200), 1.2));
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setFont(Font(12));
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter, text);
}

QImage SlideWelcome()
{
    QImage image = Blank(kSlideW, kSlideH, false);
    QPainter p(&image);
    Prepare(p);
    SlideBackground(p, QColor(0x1b, 0x55, 0xd6), QColor(0x22, 0xb8, 0xea));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 34));
    p.drawEllipse(QPointF(395, 118), 88, 88);
    p.setBrush(QColor(255, 255, 255, 24));
    p.drawEllipse(QPointF(330, 205), 60, 60);
    p.setBrush(QColor(255, 255, 255, 46));
    p.drawEllipse(QPointF(445, 190), 28, 28);
    DrawMark(p, QRectF(362, 82, 56, 56));
    SlideTexts(p, QStringLiteral("Vantora"), QStringLiteral("轻松安装 · 高效办公"), 46);
    Pill(p, QRectF(44, 182, 96, 24), QStringLiteral("欢迎使用"));
    return image;
}

QImage SlideNewVersion()
{
    QImage image = Blank(kSlideW, kSlideH, false);
    QPainter p(&image);
    Prepare(p);
    SlideBackground(p, QColor(0x58, 0x3c, 0xcf), QColor(0x2f, 0x80, 0xea));
    // Stacked cards, tilted, as a hint of the new windows.
    p.save();
    p.translate(370, 120);
    for (int i = 0; i < 3; ++i) {
        p.save();
        p.rotate(-14 + i * 9);
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.setBrush(QColor(255, 255, 255, 30 + i * 22));
        p.drawRoundedRect(QRectF(-62, -44, 124, 88), 10, 10);
        p.restore();
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawRoundedRect(QRectF(-40, -22, 60, 8), 4, 4);
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawRoundedRect(QRectF(-40, -6, 80, 8), 4, 4);
    p.drawRoundedRect(QRectF(-40, 10, 46, 8), 4, 4);
    p.restore();
    SlideTexts(p, QStringLiteral("全新 2.0 版本"), QStringLiteral("界面焕然一新，操作更加流畅"),
               36);
    Pill(p, QRectF(44, 182, 96, 24), QStringLiteral("Vantora 2.0"));
    return image;
}

QImage SlideSafety()
{
    QImage image = Blank(kSlideW, kSlideH, false);
    QPainter p(&image);
    Prepare(p);
    SlideBackground(p, QColor(0x0e, 0x8f, 0x86), QColor(0x3c, 0xc8, 0x78));
    // A shield with a tick.
    QPainterPath shield;
    const QPointF c(380, 118);
    shield.moveTo(c.x(), c.y() - 70);
    shield.cubicTo(c.x() + 30, c.y() - 52, c.x() + 52, c.y() - 50, c.x() + 60, c.y() - 50);
    shield.cubicTo(c.x() + 62, c.y() + 10, c.x() + 40, c.y() + 52, c.x(), c.y() + 74);
    shield.cubicTo(c.x() - 40, c.y() + 52, c.x() - 62, c.y() + 10, c.x() - 60, c.y() - 50);
    shield.cubicTo(c.x() - 52, c.y() - 50, c.x() - 30, c.y() - 52, c.x(), c.y() - 70);
    p.setPen(QPen(QColor(255, 255, 255, 200), 2));
    p.setBrush(QColor(255, 255, 255, 45));
    p.drawPath(shield);
    QPainterPath tick;
    tick.moveTo(c.x() - 24, c.y() + 2);
    tick.lineTo(c.x() - 6, c.y() + 20);
    tick.lineTo(c.x() + 26, c.y() - 16);
    p.setPen(QPen(Qt::white, 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 30));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(250 + i * 18, 206 - (i % 2) * 10), 4, 4);
    SlideTexts(p, QStringLiteral("安全可靠"), QStringLiteral("正版软件，安装过程全程守护"), 40);
    Pill(p, QRectF(44, 182, 96, 24), QStringLiteral("放心使用"));
    return image;
}

QImage SlideFastDownload()
{
    QImage image = Blank(kSlideW, kSlideH, false);
    QPainter p(&image);
    Prepare(p);
    SlideBackground(p, QColor(0xf0, 0x7a, 0x3a), QColor(0xe5, 0x48, 0x7f));
    // Diagonal streaks behind a round download badge.
    p.setPen(QPen(QColor(255, 255, 255, 40), 10, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 5; ++i)
        p.drawLine(QPointF(290 + i * 34, 230), QPointF(350 + i * 34, 20));
    const QPointF c(384, 120);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawEllipse(c, 52, 52);
    QPainterPath arrow;
    arrow.moveTo(c.x(), c.y() - 28);
    arrow.lineTo(c.x(), c.y() + 14);
    arrow.moveTo(c.x() - 18, c.y() - 2);
    arrow.lineTo(c.x(), c.y() + 16);
    arrow.lineTo(c.x() + 18, c.y() - 2);
    arrow.moveTo(c.x() - 24, c.y() + 28);
    arrow.lineTo(c.x() + 24, c.y() + 28);
    p.setPen(QPen(QColor(0xe8, 0x5a, 0x5e), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(arrow);
    SlideTexts(p, QStringLiteral("极速下载"), QStringLiteral("一键安装，即刻开始使用 Vantora"), 40);
    Pill(p, QRectF(44, 182, 96, 24), QStringLiteral("立即体验"));
    return image;
}

}  // namespace

QList<Picture> DrawPngPictures()
{
    const QColor greyTop(0xd3, 0xd7, 0xdc);
    const QColor greyBottom(0xc2, 0xc6, 0xcc);
    const QColor greyEdge(0xb4, 0xb9, 0xc0);
    return {
        {143, CrossGlyph(kGlyphGrey)},
        {144, DashGlyph(kGlyphGrey)},
        {145, Track(QColor(0xdf, 0xe2, 0xe6), QColor(0xe8, 0xeb, 0xee))},
        {146, Track(kBlueTop, kBlueBottom)},
        {153, Logo()},
        {155,
         Button(168, 30, kBlueTop, kBlueBottom, kBlueEdge, QStringLiteral("下载"), Qt::white, 15)},
        {156, Button(168, 30, kBlueTop, kBlueBottom, kBlueEdge, QStringLiteral("立即安装"),
                     Qt::white, 15)},
        {159, FolderGlyph()},
        {160, CheckBox(true)},
        {161, CheckBox(false)},
        {162, Button(168, 30, greyTop, greyBottom, greyEdge, QStringLiteral("立即安装"),
                     QColor(0xf7, 0xf8, 0xf9), 15)},
        {172, LicenceStrip()},
        {173, CrossGlyph(Qt::white)},
        {174,
         Button(75, 25, kBlueTop, kBlueBottom, kBlueEdge, QStringLiteral("关闭"), Qt::white, 13)},
        {175, LicenceTitle()},
    };
}

QImage DrawBackground()
{
    QImage image = Blank(479, 383, false);
    QPainter p(&image);
    p.fillRect(image.rect(), QColor(0xf3, 0xf4, 0xf6));
    p.setPen(QColor(0xd3, 0xd6, 0xdb));
    p.drawRect(0, 0, 478, 382);
    return image;
}

QImage DrawAppIcon(int size)
{
    QImage image = Blank(size, size, true);
    QPainter p(&image);
    Prepare(p);
    const qreal s = size;
    QLinearGradient fill(0, 0, s, s);
    fill.setColorAt(0, QColor(0x2a, 0x7d, 0xf0));
    fill.setColorAt(1, QColor(0x22, 0xb4, 0xe8));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.2, s * 0.2);
    DrawMark(p, QRectF(s * 0.22, s * 0.22, s * 0.56, s * 0.56));
    return image;
}

QList<QImage> DrawBannerSlides()
{
    return {SlideWelcome(), SlideNewVersion(), SlideSafety(), SlideFastDownload()};
}
