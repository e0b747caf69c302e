#include "DialogTemplate.h"

#include <QApplication>
#include <QFontMetrics>
#include <array>

#include "ResourceIds.h"

namespace dlg {

namespace {

constexpr unsigned kStatic = WS_CHILD | WS_VISIBLE | WS_GROUP;

const std::array<DialogItem, 14> kItems = {{
    {res::IDC_DOWNLOADING, "STATIC", "正在下载", kStatic, 0, {127, 135, 28, 8}, false},
    {res::IDC_PERCENT, "STATIC", "100%", kStatic, 0, {169, 135, 20, 8}, false},
    {res::IDC_PROGRESS,
     "msctls_progress32",
     "",
     WS_CHILD | WS_VISIBLE,
     WS_EX_TRANSPARENT,
     {29, 150, 235, 6},
     false},
    {res::IDC_BANNER, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 0, {0, 0, 294, 88}, true},
    {res::IDC_LOGO, "STATIC", "Static", kStatic, 0, {7, 6, 19, 8}, true},
    {res::IDC_MINIMIZE, "STATIC", "Static", kStatic | SS_NOTIFY, 0, {264, 6, 10, 8}, true},
    {res::IDC_CLOSE, "STATIC", "Static", kStatic | SS_NOTIFY, 0, {281, 6, 8, 8}, true},
    {res::IDC_DOWNLOAD,
     "STATIC",
     "",
     kStatic | SS_CENTER | SS_NOTIFY | SS_CENTERIMAGE,
     WS_EX_TRANSPARENT,
     {98, 167, 113, 28},
     false},
    {res::IDC_INSTALL, "STATIC", "立即安装", kStatic | SS_NOTIFY, 0, {107, 116, 94, 23}, true},
    {res::IDC_FOLDER,
     "MfcEditBrowse",
     "",
     WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL,
     WS_EX_TRANSPARENT,
     {29, 147, 235, 14},
     true},
    {res::IDC_AGREE, "STATIC", "Static", kStatic | SS_NOTIFY, 0, {17, 182, 15, 8}, true},
    {res::IDC_AGREE_TEXT, "STATIC", "阅读并同意", kStatic, 0, {37, 182, 41, 8}, true},
    {res::IDC_LICENSE_LINK,
     "STATIC",
     "软件许可协议",
     kStatic | SS_NOTIFY,
     0,
     {87, 182, 49, 8},
     true},
    {res::IDC_NETWORK_HINT, "STATIC", "请保持网络连接畅通!", kStatic, 0, {94, 166, 99, 8}, false},
}};

const DialogTemplate kInstallerDialog = {
    res::IDD_ONLINEINSTALLER_DIALOG,
    WS_POPUP | WS_VISIBLE | DS_SETFOREGROUND | DS_SETFONT | DS_FIXEDSYS,
    WS_EX_APPWINDOW,
    {296, 200},
    9,
    kItems,
};

int MulDiv(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

}  // namespace

const DialogTemplate& InstallerDialogTemplate()
{
    return kInstallerDialog;
}

QFont DialogFont()
{
    QFont font = QApplication::font();
    font.setPointSize(kInstallerDialog.fontPointSize);
    return font;
}

QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& units, const QSize& base)
{
    return {MulDiv(units.x(), base.width(), 4), MulDiv(units.y(), base.height(), 8),
            MulDiv(units.width(), base.width(), 4), MulDiv(units.height(), base.height(), 8)};
}

}  // namespace dlg
