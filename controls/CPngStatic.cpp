#include "CPngStatic.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "CWindowMessage.h"

CPngStatic::CPngStatic(int id, bool notify, QWidget* parent) : QWidget(parent), m_nId(id)
{
    setObjectName(QString::number(id));
    // The parent's pixels stay under the static; the image blends onto them.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    if (!notify)
        setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CPngStatic::paintEvent(QPaintEvent*)
{
    if (!m_pImage || m_pImage->isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), *m_pImage);
}

void CPngStatic::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_bPressed = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CPngStatic::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bPressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_bPressed = false;
    event->accept();
    // A press dragged off the static before release is no click.
    if (!rect().contains(event->position().toPoint()))
        return;
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
        if (auto* target = dynamic_cast<CCommandTarget*>(w)) {
            // Last statement: the target may close or delete its window, and us with it.
            target->OnCommand(MAKEWPARAM(static_cast<unsigned>(m_nId), 0), 0);
            return;
        }
    }
}
