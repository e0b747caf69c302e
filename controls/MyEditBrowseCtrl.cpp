#include "MyEditBrowseCtrl.h"

#include <algorithm>

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QToolButton>

namespace {

constexpr int kButtonWidth = 22;  // the 16-pixel glyph plus its 3-pixel margins
constexpr int kGlyphMargin = 3;

// The browse button shows only the folder glyph; hover and press leave it as it is.
class BrowseButton : public QToolButton
{
public:
    BrowseButton(const MyEditBrowseCtrl* field, QWidget* parent)
        : QToolButton(parent), m_field(field)
    {
        setCursor(Qt::ArrowCursor);
        setFocusPolicy(Qt::NoFocus);
        setAutoRaise(true);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QImage* image = m_field->m_pButtonImage;
        const QRect target =
            rect().adjusted(kGlyphMargin, kGlyphMargin, -kGlyphMargin, -kGlyphMargin);
        if (!image || image->isNull() || target.width() <= 0 || target.height() <= 0)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, *image, image->rect());
    }

private:
    const MyEditBrowseCtrl* m_field;
};

}  // namespace

MyEditBrowseCtrl::MyEditBrowseCtrl(int id, QWidget* parent)
    : QLineEdit(parent), m_pButton(new BrowseButton(this, this))
{
    setObjectName(QString::number(id));
    m_pButton->setObjectName(QStringLiteral("browse"));
    connect(m_pButton, &QToolButton::clicked, this, [this] { OnBrowse(); });
    PlaceButton();
}

void MyEditBrowseCtrl::resizeEvent(QResizeEvent* event)
{
    QLineEdit::resizeEvent(event);
    PlaceButton();
}

void MyEditBrowseCtrl::PlaceButton()
{
    // Inside the field's frame, at its right edge; the text stops short of it.
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int inner = std::max(0, height() - 2 * frame);
    const int buttonWidth = std::min(kButtonWidth, std::max(0, width() - 2 * frame));
    m_pButton->setGeometry(width() - frame - buttonWidth, frame, buttonWidth, inner);
    QMargins margins = textMargins();
    margins.setRight(buttonWidth);
    setTextMargins(margins);
}

QString MyEditBrowseCtrl::BrowseStartFolder() const
{
    QString folder = QDir::fromNativeSeparators(text().trimmed());
    if (folder.isEmpty())
        return QDir::homePath();
    QFileInfo info(QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(folder)));
    while (!info.isDir()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return QDir::homePath();
        info = QFileInfo(parent);
    }
    return info.absoluteFilePath();
}

QString MyEditBrowseCtrl::ChooseFolder(const QString& start)
{
    return QFileDialog::getExistingDirectory(this, QStringLiteral("选择文件夹"), start,
                                             QFileDialog::ShowDirsOnly);
}

void MyEditBrowseCtrl::OnBrowse()
{
    const QString chosen = ChooseFolder(BrowseStartFolder());
    if (chosen.isEmpty())
        return;  // cancelled: the typed text stays
    setText(QDir::toNativeSeparators(chosen));
    setFocus();
}
