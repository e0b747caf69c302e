#include "CPictureEx.h"

#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <chrono>

#include "GifFrameWalker.h"
#include "ResourceIds.h"

namespace {

// Qt's GIF reader returns a frame composed on the whole logical screen; the control draws only
// the frame's own rectangle, so keep just that part (transparent pixels stay transparent).
QImage CutFrame(const QImage& decoded, const QRect& frameRect)
{
    if (decoded.size() == frameRect.size())
        return decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return decoded.copy(frameRect).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage DecodeGif(const unsigned char* data, std::size_t size)
{
    QImage image;
    image.loadFromData(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
        "GIF");
    return image;
}

}  // namespace

std::uint32_t FrameDelayMs(std::uint32_t delay)
{
    return delay < 5 ? 100u : delay * 10u;
}

CPictureEx::CPictureEx(int id, QWidget* parent) : QWidget(parent), m_nId(id)
{
    setObjectName(QString::number(id));
}

CPictureEx::~CPictureEx()
{
    // The thread draws on the surface and asks this widget for repaints: end it before anything
    // it uses goes away.
    StopAnimation();
    ReleaseContents();
}

QColor CPictureEx::MenuColor() const
{
    return palette().color(QPalette::Window);
}

QColor CPictureEx::ButtonFaceColor() const
{
    return palette().color(QPalette::Button);
}

QImage CPictureEx::SurfaceCopy() const
{
    std::lock_guard<std::mutex> lock(m_surfaceMutex);
    return m_surface.copy();
}

bool CPictureEx::LoadFromResource(const char* type, unsigned id)
{
    QFile file(QStringLiteral(":/%1/%2").arg(QString::fromLatin1(type)).arg(id));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    return LoadFromMemory(reinterpret_cast<const unsigned char*>(bytes.constData()),
                          static_cast<std::size_t>(bytes.size()));
}

bool CPictureEx::LoadFromMemory(const unsigned char* data, std::size_t size)
{
    ReleaseContents();
    if (!data || size == 0)
        return false;

    GifFrameWalker walker;
    const bool headerRead = walker.Begin(data, size);
    if (!walker.IsGif()) {
        m_stillPicture = QImage::fromData(QByteArray::fromRawData(
            reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
        if (m_stillPicture.isNull())
            return false;
        // Decoded pixels are device pixels here: the picture's own size is its size on screen.
        m_size = m_stillPicture.size();
        return PrepareSurface(m_size.width(), m_size.height());
    }

    m_bGif = true;
    if (!headerRead)
        return false;
    m_size = QSize(walker.ScreenWidth(), walker.ScreenHeight());

    int blocks = 0;
    while (walker.SkipGraphicBlock())
        ++blocks;
    if (blocks == 0)
        return false;

    if (blocks == 1) {
        m_stillPicture = DecodeGif(data, size);
        if (m_stillPicture.isNull())
            return false;
        return PrepareSurface(m_size.width(), m_size.height());
    }

    walker.Rewind();
    while (auto frame = walker.ExtractGraphicBlock()) {
        QImage decoded = DecodeGif(frame->stream.data(), frame->stream.size());
        if (decoded.isNull())
            continue;  // a frame the reader rejects is dropped
        GifFrame gifFrame;
        gifFrame.width = frame->width;
        gifFrame.height = frame->height;
        gifFrame.left = frame->left;
        gifFrame.top = frame->top;
        gifFrame.delay = frame->delay;
        gifFrame.disposal = frame->disposal;
        gifFrame.picture =
            CutFrame(decoded, QRect(frame->left, frame->top, frame->width, frame->height));
        if (gifFrame.picture.isNull())
            continue;  // nothing to draw (an empty rectangle): the thread would only spin
        m_frames.push_back(std::move(gifFrame));
    }
    walker.End();
    if (m_frames.empty())
        return false;
    return PrepareSurface(m_size.width(), m_size.height());
}

bool CPictureEx::PrepareSurface(int width, int height)
{
    // The thread reads the clearing colour and draws on the surface: never swap them under it.
    StopAnimation();
    resize(width, height);
    if (width <= 0 || height <= 0)
        return false;
    QImage surface(width, height, QImage::Format_RGB32);
    if (surface.isNull())
        return false;
    m_clrBackground = ButtonFaceColor();
    surface.fill(MenuColor());
    {
        std::lock_guard<std::mutex> lock(m_surfaceMutex);
        m_surface = std::move(surface);
    }
    // The surface covers the whole control, so nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    m_bReady = true;
    update();
    return true;
}

bool CPictureEx::StartAnimation()
{
    if (!m_bReady)
        return false;
    if (m_bGif && m_frames.size() > 1) {
        if (!m_animThread.joinable())
            m_animThread = std::thread(&CPictureEx::AnimationLoop, this);
        return false;
    }
    if (m_stillPicture.isNull())
        return false;
    {
        std::lock_guard<std::mutex> lock(m_surfaceMutex);
        QPainter painter(&m_surface);
        painter.drawImage(QRect(QPoint(0, 0), m_size), m_stillPicture);
    }
    update();
    return true;
}

void CPictureEx::StopAnimation()
{
    m_bStopRequested = true;
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_bStopSignalled = true;
    }
    m_stopEvent.notify_all();
    // The thread never blocks except in the stop-cut wait and for one frame's drawing, and it
    // never waits for this thread, so joining ends within a frame.
    if (m_animThread.joinable())
        m_animThread.join();
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_bStopSignalled = false;
    }
    m_bStopRequested = false;
}

void CPictureEx::ReleaseContents()
{
    StopAnimation();
    m_stillPicture = QImage();
    m_frames.clear();
    {
        std::lock_guard<std::mutex> lock(m_surfaceMutex);
        m_surface = QImage();
        m_saveArea.reset();
    }
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_bReady = false;
    m_bGif = false;
    m_clrBackground = Qt::white;
    m_nFrame = 0;
}

bool CPictureEx::WaitStop(std::uint32_t ms)
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    return m_stopEvent.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return m_bStopSignalled; });
}

void CPictureEx::RequestRepaint()
{
    QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void CPictureEx::ApplyDisposal()
{
    const GifFrame& frame = m_frames[m_nFrame];
    const QRect rect(frame.left, frame.top, frame.width, frame.height);
    if (frame.disposal == 2) {
        QPainter painter(&m_surface);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect, m_clrBackground);
    } else if (frame.disposal == 3 && m_saveArea) {
        QPainter painter(&m_surface);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(rect.topLeft(), *m_saveArea);
        m_saveArea.reset();
    }
}

void CPictureEx::AnimationLoop()
{
    {
        std::lock_guard<std::mutex> lock(m_surfaceMutex);
        ApplyDisposal();
    }
    while (!m_bStopRequested) {
        const GifFrame& frame = m_frames[m_nFrame];
        if (!frame.picture.isNull()) {
            {
                std::lock_guard<std::mutex> lock(m_surfaceMutex);
                const QRect rect(frame.left, frame.top, frame.width, frame.height);
                if (frame.disposal == 3)
                    m_saveArea = m_surface.copy(rect);
                QPainter painter(&m_surface);
                painter.drawImage(rect, frame.picture);
            }
            RequestRepaint();
            if (m_bStopRequested)
                break;
            // Counted from the end of the drawing; a stop ends it at once.
            WaitStop(FrameDelayMs(frame.delay));
            if (m_bStopRequested)
                break;
            std::lock_guard<std::mutex> lock(m_surfaceMutex);
            ApplyDisposal();
        }
        if (++m_nFrame >= m_frames.size()) {
            m_nFrame = 0;
            std::lock_guard<std::mutex> lock(m_surfaceMutex);
            m_surface.fill(m_clrBackground);
        }
    }
}

void CPictureEx::paintEvent(QPaintEvent*)
{
    std::lock_guard<std::mutex> lock(m_surfaceMutex);
    if (m_surface.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, m_surface);
}

bool CPictureEx::OnCommand(WPARAM wParam, LPARAM)
{
    if (HIWORD(wParam) != 0)
        return false;  // not a click: nothing of ours
    switch (LOWORD(wParam)) {
        case res::IDC_MINIMIZE:
            window()->showMinimized();
            return true;
        case res::IDC_CLOSE: {
            QPointer<CPictureEx> self(this);
            QPointer<QMessageBox> box = new QMessageBox(
                QMessageBox::NoIcon, QStringLiteral("Vantora2.0安装"),
                QStringLiteral("确定要退出吗?"), QMessageBox::Yes | QMessageBox::No, this);
            const int answer = box->exec();
            delete box;  // null (nothing to do) when the banner went away meanwhile
            if (!self || answer != QMessageBox::Yes)
                return true;
            if (auto* dialog = qobject_cast<QDialog*>(window()))
                dialog->done(IDCLOSE);
            return true;
        }
        default:
            return true;
    }
}
