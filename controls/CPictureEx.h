// The animated banner: plays a GIF on its own thread onto an off-screen surface that the
// GUI thread copies to the screen; takes the clicks of the glyphs placed on it.
#pragma once

#include <QImage>
#include <QSize>
#include <QWidget>

#include "CWindowMessage.h"

class CPictureEx : public QWidget, public CCommandTarget
{
    Q_OBJECT
public:
    explicit CPictureEx(int id, QWidget* parent = nullptr);
    ~CPictureEx() override;

    bool LoadFromResource(const char* type, unsigned id);  // e.g. ("GIF", 170)
    bool LoadFromMemory(const unsigned char* data, std::size_t size);
    bool PrepareSurface(int width, int height);
    bool StartAnimation();  // true only for a still picture drawn once
    void StopAnimation();
    void ReleaseContents();

    bool OnCommand(WPARAM wParam, LPARAM lParam) override;  // 1035 minimise, 1036 close question

    QSize m_size;  // the picture's logical size

protected:
    void paintEvent(QPaintEvent* event) override;

    // (private animation state: frames, surface + mutex, thread, atomic stop flag, condvar)
};
