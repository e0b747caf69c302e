#include "CMyProgressCtrl.h"

#include <QPainter>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "ResourceImages.h"

// Shared by the bar and every worker link. `ctrl` is valid while `open` is true; both are
// only changed under `mutex`, so a worker holding the mutex may post to the bar.
struct CMyProgressCtrl::WorkerLink::Gate
{
    std::mutex mutex;
    std::condition_variable applied;
    bool open = true;
    CMyProgressCtrl* ctrl = nullptr;
    int waiting = 0;
};

CMyProgressCtrl::CMyProgressCtrl(int id, QWidget* parent)
    : QWidget(parent), m_gate(std::make_shared<Gate>())
{
    setObjectName(QString::number(id));
    m_gate->ctrl = this;
    // Nothing is erased: what the images leave uncovered shows the parent.
    setAutoFillBackground(false);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
}

CMyProgressCtrl::~CMyProgressCtrl()
{
    CancelPendingCalls();
}

void CMyProgressCtrl::CancelPendingCalls()
{
    {
        std::lock_guard lock(m_gate->mutex);
        m_gate->open = false;
        m_gate->ctrl = nullptr;
    }
    m_gate->applied.notify_all();
}

int CMyProgressCtrl::WaitingWorkers() const
{
    std::lock_guard lock(m_gate->mutex);
    return m_gate->waiting;
}

void CMyProgressCtrl::SetRange(int lower, int upper)
{
    m_nLower = lower;
    m_nUpper = upper;
    if (upper > lower)
        m_nPos = std::clamp(m_nPos, lower, upper);
    update();
}

void CMyProgressCtrl::GetRange(int& lower, int& upper) const
{
    lower = m_nLower;
    upper = m_nUpper;
}

int CMyProgressCtrl::GetPos() const
{
    return m_nPos;
}

int CMyProgressCtrl::SetPos(int pos)
{
    const int previous = m_nPos;
    m_nPos = m_nUpper > m_nLower ? std::clamp(pos, m_nLower, m_nUpper) : pos;
    if (m_nPos != previous)
        update();
    return previous;
}

void CMyProgressCtrl::SetImages(unsigned barImageId, unsigned backImageId, const char* imageType)
{
    m_nBarImageId = barImageId;
    m_nBackImageId = backImageId;
    if (!imageType)
        imageType = "";
    const std::size_t n = std::min(std::strlen(imageType), sizeof m_szImageType - 1);
    std::memcpy(m_szImageType, imageType, n);
    m_szImageType[n] = '\0';
    update();
}

int CMyProgressCtrl::FilledWidth(int width) const
{
    if (m_nUpper <= m_nLower)
        return 0;  // an empty range has no filled part (and no divisor)
    const long long span = static_cast<long long>(m_nUpper) - m_nLower;
    const long long done =
        std::clamp<long long>(static_cast<long long>(m_nPos) - m_nLower, 0, span);
    return static_cast<int>(static_cast<long long>(width) * done / span);
}

void CMyProgressCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Every paint starts from the parent's pixels, so the track goes down first each time and
    // the bar over it.
    DrawResourceImage(&painter, m_szImageType, m_nBackImageId, rect());
    const int filled = FilledWidth(width());
    if (filled > 0)
        DrawResourceImage(&painter, m_szImageType, m_nBarImageId, QRect(0, 0, filled, height()));
}

bool CMyProgressCtrl::SetPosFromWorker(int pos)
{
    if (QThread::currentThread() == thread()) {
        SetPos(pos);
        return true;
    }
    return WorkerLink(m_gate).SetPos(pos);
}

bool CMyProgressCtrl::WorkerLink::SetPos(int pos) const
{
    if (!m_gate)
        return false;
    const std::shared_ptr<Gate> gate = m_gate;
    std::unique_lock lock(gate->mutex);
    if (!gate->open)
        return false;
    CMyProgressCtrl* ctrl = gate->ctrl;
    if (QThread::currentThread() == ctrl->thread()) {
        lock.unlock();
        ctrl->SetPos(pos);
        return true;
    }
    // The call is done when the GUI thread has applied it; the flag lives with the call so a
    // call posted to a bar that is then destroyed leaves nothing dangling.
    auto done = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        ctrl,
        [gate, done, pos] {
            CMyProgressCtrl* target;
            {
                std::lock_guard guard(gate->mutex);
                target = gate->open ? gate->ctrl : nullptr;
            }
            if (target)
                target->SetPos(pos);
            {
                std::lock_guard guard(gate->mutex);
                *done = true;
            }
            gate->applied.notify_all();
        },
        Qt::QueuedConnection);
    ++gate->waiting;
    gate->applied.wait(lock, [&] { return *done || !gate->open; });
    --gate->waiting;
    return *done;
}
