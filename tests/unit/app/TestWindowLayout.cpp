#include <gtest/gtest.h>

#include "WindowLayout.h"

// Readable rectangles in failure messages.
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << "(" << r.x() << "," << r.y() << " " << r.width() << "x" << r.height() << ")";
}

namespace {

WindowLayoutInput Input(int bannerWidth)
{
    WindowLayoutInput in;
    in.bannerWidth = bannerWidth;
    in.downloadImage = {168, 30};
    in.downloading = {49, 15};
    in.percent = {35, 15};
    in.install = {168, 30};
    in.folder = {411, 26};
    in.agree = {17, 17};
    in.agreeText = {72, 15};
    in.licenseLink = {86, 15};
    in.networkHint = {173, 15};
    return in;
}

TEST(WindowLayout, BannerOf479)
{
    const WindowLayout l = ComputeWindowLayout(Input(479));
    EXPECT_EQ(l.H, 359);
    EXPECT_EQ(l.B, 71);
    EXPECT_EQ(l.window, QRect(0, 0, 479, 359));
    EXPECT_EQ(l.close, QRect(449, 15, 20, 20));
    EXPECT_EQ(l.minimize, QRect(419, 15, 20, 20));
    EXPECT_EQ(l.download, QRect(155, 299, 168, 30));
    EXPECT_EQ(l.progress, QRect(34, 284, 410, 10));
    EXPECT_EQ(l.downloading, QRect((479 - 49) / 2 - 30, 254, 69, 15));  // 20 wider
    EXPECT_EQ(l.percent, QRect(269, 254, 60, 31));                      // 25 wider, 16 taller
    EXPECT_EQ(l.install, QRect(155, 254, 168, 30));
    EXPECT_EQ(l.folder, QRect(34, 294, 411, 36));  // 10 taller
    EXPECT_EQ(l.agree, QRect(30, 334, 17, 17));
    EXPECT_EQ(l.agreeText, QRect(57, 334, 72, 15));     // box, gap of 10, text
    EXPECT_EQ(l.licenseLink, QRect(139, 334, 86, 15));  // text, gap of 10, link
    EXPECT_EQ(l.networkHint, QRect(180, 304, 173, 15));
}

TEST(WindowLayout, BannerOf480)
{
    const WindowLayout l = ComputeWindowLayout(Input(480));
    EXPECT_EQ(l.H, 360);
    EXPECT_EQ(l.B, 72);
    EXPECT_EQ(l.window, QRect(0, 0, 480, 360));
    EXPECT_EQ(l.progress, QRect(35, 288, 410, 10));
    EXPECT_EQ(l.close, QRect(450, 15, 20, 20));
    EXPECT_EQ(l.agree, QRect(30, 335, 17, 17));
    EXPECT_EQ(l.networkHint.topLeft(), QPoint(180, 308));
}

// Failed pictures: no banner leaves W = 0 and every position follows from it (divisions
// truncate toward zero, so negative halves round up); no picture 155 puts the download button
// at (W / 2, H - 30), 0 x 0.
TEST(WindowLayout, MissingPictures)
{
    WindowLayoutInput in = Input(0);
    in.downloadImage = {0, 0};
    const WindowLayout empty = ComputeWindowLayout(in);
    EXPECT_EQ(empty.window, QRect(0, 0, 0, 0));
    EXPECT_EQ(empty.progress, QRect(-205, 0, 410, 10));
    EXPECT_EQ(empty.downloading.x(), -24 - 30);  // (0 - 49) / 2 = -24
    EXPECT_EQ(empty.download, QRect(0, -30, 0, 0));

    in.bannerWidth = 479;
    EXPECT_EQ(ComputeWindowLayout(in).download, QRect(239, 329, 0, 0));
}

}  // namespace
