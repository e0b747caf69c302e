#include "WindowLayout.h"

WindowLayout ComputeWindowLayout(const WindowLayoutInput& in)
{
    WindowLayout out;
    const int W = in.bannerWidth;
    const int H = 3 * W / 4;
    const int B = H / 5;
    out.W = W;
    out.H = H;
    out.B = B;

    out.window = {0, 0, W, H};
    out.close = {W - 30, 15, 20, 20};
    out.minimize = {W - 60, 15, 20, 20};
    const int w155 = in.downloadImage.width();
    const int h155 = in.downloadImage.height();
    out.download = {(W - w155) / 2, H - h155 - 30, w155, h155};
    out.progress = {(W - 410) / 2, 4 * B, 410, 10};
    out.downloading = {(W - in.downloading.width()) / 2 - 30, 4 * B - 30,
                       in.downloading.width() + 20, in.downloading.height()};
    out.percent = {W / 2 + 30, 4 * B - 30, in.percent.width() + 25, in.percent.height() + 16};
    out.install = {(W - in.install.width()) / 2, 4 * B - 30, in.install.width(),
                   in.install.height()};
    out.folder = {(W - in.folder.width()) / 2, 4 * B + 10, in.folder.width(),
                  in.folder.height() + 10};
    out.agree = {30, H - 25, in.agree.width(), in.agree.height()};
    // The agreement row: box, a gap of 10, the text, a gap of 10, the link.
    out.agreeText = {in.agree.width() + 40, H - 25, in.agreeText.width(), in.agreeText.height()};
    out.licenseLink = {in.agree.width() + 40 + in.agreeText.width() + 10, H - 25,
                       in.licenseLink.width(), in.licenseLink.height()};
    out.networkHint = {180, 4 * B + 20, in.networkHint.width(), in.networkHint.height()};
    return out;
}
