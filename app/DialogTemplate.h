// The installer window's dialog template 102 as a constant table: the window builds its
// children from it, converting dialog units to pixels through the dialog font.
#pragma once

#include <QFont>
#include <QRect>
#include <span>

namespace dlg {

// Window styles, with the values the template was designed with.
constexpr unsigned WS_POPUP = 0x80000000u;
constexpr unsigned WS_CHILD = 0x40000000u;
constexpr unsigned WS_VISIBLE = 0x10000000u;
constexpr unsigned WS_BORDER = 0x00800000u;
constexpr unsigned WS_GROUP = 0x00020000u;
constexpr unsigned WS_TABSTOP = 0x00010000u;
constexpr unsigned DS_SETFOREGROUND = 0x0200u;
constexpr unsigned DS_SETFONT = 0x0040u;
constexpr unsigned DS_FIXEDSYS = 0x0008u;
constexpr unsigned SS_CENTER = 0x0001u;
constexpr unsigned SS_BLACKRECT = 0x0004u;
constexpr unsigned SS_NOTIFY = 0x0100u;
constexpr unsigned SS_CENTERIMAGE = 0x0200u;
constexpr unsigned ES_AUTOHSCROLL = 0x0080u;
constexpr unsigned WS_EX_TRANSPARENT = 0x00000020u;
constexpr unsigned WS_EX_APPWINDOW = 0x00040000u;

struct DialogItem
{
    int id;
    const char* windowClass;
    const char* text;  // UTF-8; empty when the control has none
    unsigned style;
    unsigned exStyle;
    QRect rect;  // x, y, width, height in dialog units
    bool visibleAtStart;
};

struct DialogTemplate
{
    int id;
    unsigned style;
    unsigned exStyle;
    QSize size;  // dialog units
    int fontPointSize;
    std::span<const DialogItem> items;
};

const DialogTemplate& InstallerDialogTemplate();  // template 102

// The dialog font: the desktop's sans font (Chinese glyphs through font fallback), 9 points.
QFont DialogFont();

// Horizontal and vertical base units of `font`: the average width of the Latin letters and
// the line height, as dialog-unit conversion defines them.
QSize DialogBaseUnits(const QFont& font);

// A rectangle in dialog units to pixels: x and width by base.width / 4, y and height by
// base.height / 8, rounded.
QRect DialogUnitsToPixels(const QRect& units, const QSize& base);

}  // namespace dlg
