#include "CTextStatic.h"

#include <QMouseEvent>

#include "CWindowMessage.h"

CTextStatic::CTextStatic(int id, const QString& text, bool notify, QWidget* parent)
    : QLabel(text, parent), m_nId(id)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAutoFillBackground(false);
    if (!notify)
        setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CTextStatic::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_bPressed = true;
    event->accept();
}

void CTextStatic::mouseReleaseEvent(QMouseEvent* event)
{
    const bool clicked = m_bPressed && event->button() == Qt::LeftButton &&
                         rect().contains(event->position().toPoint());
    m_bPressed = false;
    event->accept();
    if (!clicked)
        return;
    if (auto* target = dynamic_cast<CCommandTarget*>(parentWidget()))
        target->OnCommand(MAKEWPARAM(static_cast<unsigned>(m_nId), 0), 0);
}
