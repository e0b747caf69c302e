// The animated banner: plays a GIF on its own thread onto an off-screen surface that the
// GUI thread copies to the screen; takes the clicks of the glyphs placed on it.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QWidget>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "CWindowMessage.h"

// How long a frame stays, in milliseconds, for its delay in hundredths of a second: delay x 10,
// but 100 ms below 5. Unsigned 32-bit, so the "no control extension" marker 0xFFFFFFFF gives
// 4294967286 ms, which holds the frame until the animation is stopped.
std::uint32_t FrameDelayMs(std::uint32_t delay);

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

    // State a window or a test may look at.
    bool IsAnimating() const { return m_animThread.joinable(); }
    int FrameCount() const { return static_cast<int>(m_frames.size()); }
    QImage SurfaceCopy() const;  // a copy of the composition surface, null without one

    // The surface's first fill stands for the system menu colour and the clearing colour for
    // the button-face colour; both come from the widget's palette (Window and Button).
    QColor MenuColor() const;
    QColor ButtonFaceColor() const;

    QSize m_size;  // the picture's logical size

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct GifFrame
    {
        QImage picture;  // the decoded frame, cut to its own rectangle
        int width = 0;
        int height = 0;
        int left = 0;
        int top = 0;
        std::uint32_t delay = 0;
        std::uint32_t disposal = 0;
    };

    void AnimationLoop();
    void ApplyDisposal();             // of the frame at m_nFrame; animation thread, surface locked
    bool WaitStop(std::uint32_t ms);  // true when a stop cut the wait short
    void RequestRepaint();

    int m_nId;
    QColor m_clrBackground = Qt::white;
    std::uint32_t m_nFrame = 0;
    bool m_bGif = false;
    bool m_bReady = false;
    std::atomic<bool> m_bStopRequested{false};

    // The surface is written by the animation thread and read by paintEvent.
    mutable std::mutex m_surfaceMutex;
    QImage m_surface;
    std::optional<QImage> m_saveArea;  // pixels under a frame with disposal 3

    std::thread m_animThread;
    // The stop event: manual reset, set by StopAnimation, cuts a frame delay short.
    std::mutex m_stopMutex;
    std::condition_variable m_stopEvent;
    bool m_bStopSignalled = false;

    QImage m_stillPicture;
    std::vector<GifFrame> m_frames;
};
