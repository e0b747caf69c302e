// The download progress bar: the standard range/position model drawn from two pictures.
#pragma once

#include <QWidget>
#include <atomic>
#include <memory>

class CMyProgressCtrl : public QWidget
{
    Q_OBJECT
public:
    explicit CMyProgressCtrl(int id, QWidget* parent = nullptr);
    ~CMyProgressCtrl() override;

    // The position always lies inside the range, as with the standard control: SetRange pulls
    // it in, SetPos clamps.
    void SetRange(int lower, int upper);          // PBM_SETRANGE
    void GetRange(int& lower, int& upper) const;  // PBM_GETRANGE
    int GetPos() const;                           // PBM_GETPOS
    int SetPos(int pos);                          // PBM_SETPOS, returns the previous position
    void SetImages(unsigned barImageId, unsigned backImageId, const char* imageType);

    // Width of the bar for the current range and position in a client `width` pixels wide;
    // 0 for an empty range (upper <= lower).
    int FilledWidth(int width) const;

    // PBM_SETPOS from another thread: applied on the GUI thread while the caller waits.
    // Returns false at once, without waiting, once the bar is being destroyed (or when
    // CancelPendingCalls was called), so a worker never blocks on a window that is gone.
    // Called on the GUI thread itself it applies the position directly.
    bool SetPosFromWorker(int pos);
    // Wakes every waiting worker (they return false) and refuses later calls. The owner calls
    // it before it waits for the worker to end, so neither side waits for the other.
    void CancelPendingCalls();
    // How many workers wait in SetPosFromWorker right now (diagnostics, tests).
    int WaitingWorkers() const;

    // A handle a worker may keep and use after the bar is gone: it shares the gate, not the
    // widget, so a late call finds the gate closed and returns false.
    class WorkerLink
    {
    public:
        WorkerLink() = default;
        bool SetPos(int pos) const;  // as SetPosFromWorker; false when empty or closed

    private:
        friend class CMyProgressCtrl;
        struct Gate;
        explicit WorkerLink(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) {}
        std::shared_ptr<Gate> m_gate;
    };
    WorkerLink GetWorkerLink() const { return WorkerLink(m_gate); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    using Gate = WorkerLink::Gate;
    std::shared_ptr<Gate> m_gate;
    int m_nLower = 0, m_nUpper = 100, m_nPos = 0;
    unsigned m_nBarImageId = 0, m_nBackImageId = 0;
    char m_szImageType[260] = {};
};
