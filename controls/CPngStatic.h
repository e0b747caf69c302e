// Shows one picture, unscaled, from the top-left corner; never erases what lies beneath.
#pragma once

#include <QWidget>

class QImage;

class CPngStatic : public QWidget
{
    Q_OBJECT
public:
    // `notify`: the static reports clicks to its command target (SS_NOTIFY); without it the
    // static is transparent for the mouse, so presses reach the window beneath.
    CPngStatic(int id, bool notify, QWidget* parent = nullptr);

    int GetDlgCtrlID() const { return m_nId; }

    const QImage* m_pImage = nullptr;  // not owned: the window keeps its images alive

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_nId;
    bool m_bPressed = false;
};
