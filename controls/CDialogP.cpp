#include "CDialogP.h"

#include <QFontMetrics>
#include <QImage>
#include <QPalette>
#include <QPlainTextEdit>
#include <QScrollBar>

#include "CPngStatic.h"
#include "ResourceIds.h"
#include "ResourceImages.h"

namespace {

// The window's template: its size and its children, in dialog units of its 8-point font.
enum class Kind
{
    ImageStatic,
    NotifyImageStatic,
    ReadOnlyText
};

struct TemplateControl
{
    int id;
    Kind kind;
    const char16_t* text;  // never drawn: the pictures carry the captions
    int x, y, cx, cy;
};

constexpr int kTemplateWidth = 309, kTemplateHeight = 176;
constexpr int kTemplateFontPoints = 8;

constexpr TemplateControl kTemplate[] = {
    {res::IDC_LICENSE_TITLE, Kind::ImageStatic, u"《Meridale》软件许可协议", 0, 0, 309, 15},
    {res::IDC_LICENSE_CLOSE_GLYPH, Kind::NotifyImageStatic, u"Static", 281, 5, 19, 8},
    {res::IDC_LICENSE_TEXT, Kind::ReadOnlyText, u"", 21, 30, 257, 116},
    {res::IDC_LICENSE_STRIP, Kind::ImageStatic, u"Static", 0, 157, 309, 19},
    {res::IDC_LICENSE_CLOSE_BUTTON, Kind::NotifyImageStatic, u"Static", 259, 159, 19, 8},
};

// Dialog units to pixels through the font's base units: a quarter of the average letter width
// horizontally, an eighth of the font height vertically, rounded to the nearest pixel.
struct DialogUnits
{
    explicit DialogUnits(const QFont& font)
    {
        const QFontMetrics metrics(font);
        const QString letters =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        baseX = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
        baseY = metrics.height();
    }
    static int MulDiv(int value, int numerator, int denominator)
    {
        return (value * numerator + denominator / 2) / denominator;
    }
    QRect ToPixels(int x, int y, int cx, int cy) const
    {
        return QRect(MulDiv(x, baseX, 4), MulDiv(y, baseY, 8), MulDiv(cx, baseX, 4),
                     MulDiv(cy, baseY, 8));
    }
    int baseX, baseY;
};

int ImageWidth(const std::unique_ptr<QImage>& image)
{
    return image ? image->width() : 0;
}
int ImageHeight(const std::unique_ptr<QImage>& image)
{
    return image ? image->height() : 0;
}

}  // namespace

CDialogP::CDialogP(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QString::number(res::IDD_LICENSE_DIALOG));
    setModal(true);
    QFont dialogFont = font();
    dialogFont.setPointSize(kTemplateFontPoints);
    setFont(dialogFont);

    const DialogUnits units(dialogFont);
    resize(units.ToPixels(0, 0, kTemplateWidth, kTemplateHeight).size());

    QWidget* byId[res::IDC_LICENSE_CLOSE_BUTTON + 1] = {};
    for (const TemplateControl& control : kTemplate) {
        QWidget* child = nullptr;
        switch (control.kind) {
            case Kind::ImageStatic:
            case Kind::NotifyImageStatic:
                child = new CPngStatic(control.id, control.kind == Kind::NotifyImageStatic, this);
                break;
            case Kind::ReadOnlyText: {
                auto* edit = new QPlainTextEdit(this);
                edit->setObjectName(QString::number(control.id));
                edit->setReadOnly(true);
                edit->setFrameShape(QFrame::NoFrame);
                edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
                // White like a writable field, not the grey of a read-only one; the text keeps
                // the default colour.
                QPalette palette = edit->palette();
                for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                    palette.setColor(group, QPalette::Base, Qt::white);
                edit->setPalette(palette);
                edit->setBackgroundVisible(false);
                child = edit;
                break;
            }
        }
        child->setAccessibleName(QString::fromUtf16(control.text));
        child->setGeometry(units.ToPixels(control.x, control.y, control.cx, control.cy));
        byId[control.id] = child;
    }
    m_pngTitle = static_cast<CPngStatic*>(byId[res::IDC_LICENSE_TITLE]);
    m_pngCloseGlyph = static_cast<CPngStatic*>(byId[res::IDC_LICENSE_CLOSE_GLYPH]);
    m_pngFooter = static_cast<CPngStatic*>(byId[res::IDC_LICENSE_STRIP]);
    m_pngCloseButton = static_cast<CPngStatic*>(byId[res::IDC_LICENSE_CLOSE_BUTTON]);
    m_editLicence = static_cast<QPlainTextEdit*>(byId[res::IDC_LICENSE_TEXT]);
}

CDialogP::~CDialogP() = default;

void CDialogP::setVisible(bool visible)
{
    if (visible && !m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::setVisible(visible);
}

void CDialogP::done(int result)
{
    m_bInitialised = false;  // the next opening starts afresh
    QDialog::done(result);
}

void CDialogP::reject()
{
    done(IDCANCEL);
}

bool CDialogP::OnInitDialog()
{
    // New pictures for this opening; the previous opening's go now that nothing shows them.
    const unsigned ids[] = {res::IDP_LICENSE_TITLE, res::IDP_LICENSE_CLOSE_GLYPH,
                            res::IDP_LICENSE_STRIP, res::IDP_LICENSE_CLOSE_BUTTON};
    CPngStatic* statics[] = {m_pngTitle, m_pngCloseGlyph, m_pngFooter, m_pngCloseButton};
    for (std::size_t i = 0; i < m_images.size(); ++i) {
        std::unique_ptr<QImage> image(LoadPngResourceImage(ids[i]));
        statics[i]->m_pImage = image.get();
        m_images[i] = std::move(image);
        statics[i]->update();
    }
    const auto& title = m_images[0];
    const auto& strip = m_images[2];
    const auto& button = m_images[3];

    QString text = QString::fromStdU16String(LicenceText());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_editLicence->setPlainText(text);
    m_editLicence->verticalScrollBar()->setValue(0);

    // The height follows from the width alone.
    const int w = ImageWidth(title);
    const int h = 3 * w / 4;
    setFixedSize(w, h);

    // The title static shows the whole title bar: its template height is shorter than the
    // picture, which would leave a band of the window's grey between the title and the text.
    m_pngTitle->setGeometry(0, 0, w, ImageHeight(title));
    m_pngCloseGlyph->setGeometry(w - 25, 12, 20, 20);
    m_pngFooter->setGeometry(0, h - ImageHeight(strip), w, ImageHeight(strip));
    m_pngCloseButton->setGeometry(w - ImageWidth(button) - 5, h - ImageHeight(button) - 5,
                                  ImageWidth(button), ImageHeight(button));
    m_editLicence->setGeometry(0, ImageHeight(title), w,
                               h - ImageHeight(title) - ImageHeight(strip));
    return true;
}

bool CDialogP::OnCommand(WPARAM wParam, LPARAM)
{
    const unsigned id = LOWORD(wParam);
    if (HIWORD(wParam) == 0 &&
        (id == res::IDC_LICENSE_CLOSE_GLYPH || id == res::IDC_LICENSE_CLOSE_BUTTON)) {
        done(IDCLOSE);
        return true;
    }
    return false;
}
