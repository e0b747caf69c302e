// A text static of the dialog template: draws its text over the parent's background. With the
// notify style a click goes to the parent's command handler; without it the static lets mouse
// presses through to the window beneath.
#pragma once

#include <QLabel>

class CTextStatic : public QLabel
{
    Q_OBJECT
public:
    CTextStatic(int id, const QString& text, bool notify, QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_nId;
    bool m_bPressed = false;
};
