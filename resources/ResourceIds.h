// Numbers of the compiled-in pictures and of the windows' controls. Each child widget's
// objectName is its control number ("1038"), so tests and tools can find it.
#pragma once

namespace res {

// Pictures, found in the Qt resources as :/PNG/<id>, :/GIF/170, :/BITMAP/130, :/ICON/128.
constexpr unsigned IDR_MAINFRAME = 128;   // application icon
constexpr unsigned IDB_BACKGROUND = 130;  // installer window background, 479 x 383
constexpr unsigned IDP_CLOSE = 143;       // banner close glyph
constexpr unsigned IDP_MINIMIZE = 144;    // banner minimise glyph
constexpr unsigned IDP_PROGRESS_TRACK = 145;
constexpr unsigned IDP_PROGRESS_BAR = 146;
constexpr unsigned IDP_LOGO = 153;
constexpr unsigned IDP_DOWNLOAD = 155;
constexpr unsigned IDP_INSTALL = 156;
constexpr unsigned IDP_FOLDER = 159;
constexpr unsigned IDP_AGREE_TICKED = 160;
constexpr unsigned IDP_AGREE_EMPTY = 161;
constexpr unsigned IDP_INSTALL_GREY = 162;
constexpr unsigned IDG_BANNER = 170;
constexpr unsigned IDP_LICENSE_STRIP = 172;
constexpr unsigned IDP_LICENSE_CLOSE_GLYPH = 173;
constexpr unsigned IDP_LICENSE_CLOSE_BUTTON = 174;
constexpr unsigned IDP_LICENSE_TITLE = 175;

// Dialog templates.
constexpr int IDD_ONLINEINSTALLER_DIALOG = 102;
constexpr int IDD_LICENSE_DIALOG = 171;

// Controls of the installer window (template 102).
constexpr int IDC_DOWNLOADING = 1008;
constexpr int IDC_PERCENT = 1009;
constexpr int IDC_PROGRESS = 1010;
constexpr int IDC_BANNER = 1032;
constexpr int IDC_LOGO = 1034;
constexpr int IDC_MINIMIZE = 1035;
constexpr int IDC_CLOSE = 1036;
constexpr int IDC_DOWNLOAD = 1037;
constexpr int IDC_INSTALL = 1038;
constexpr int IDC_FOLDER = 1041;
constexpr int IDC_AGREE = 1042;
constexpr int IDC_AGREE_TEXT = 1043;
constexpr int IDC_LICENSE_LINK = 1044;
constexpr int IDC_NETWORK_HINT = 1050;

// Controls of the licence window (template 171).
constexpr int IDC_LICENSE_TEXT = 1045;
constexpr int IDC_LICENSE_TITLE = 1046;
constexpr int IDC_LICENSE_CLOSE_GLYPH = 1047;
constexpr int IDC_LICENSE_STRIP = 1048;
constexpr int IDC_LICENSE_CLOSE_BUTTON = 1049;

}  // namespace res

// Every way a window of this program ends uses this dialog result.
constexpr int IDCLOSE = 8;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
