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

    void SetRange(int lower, int upper);          // PBM_SETRANGE
    void GetRange(int& lower, int& upper) const;  // PBM_GETRANGE
    int GetPos() const;                           // PBM_GETPOS
    int SetPos(int pos);                          // PBM_SETPOS, returns the previous position
    void SetImages(unsigned barImageId, unsigned backImageId, const char* imageType);

    // PBM_SETPOS from another thread: applied on the GUI thread while the caller waits.
    // Returns false at once, without waiting, once the bar is being destroyed (or when
    // CancelPendingCalls was called), so a worker never blocks on a window that is gone.
    bool SetPosFromWorker(int pos);
    void CancelPendingCalls();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Gate;
    std::shared_ptr<Gate> m_gate;
    int m_nLower = 0, m_nUpper = 100, m_nPos = 0;
    unsigned m_nBarImageId = 0, m_nBackImageId = 0;
    char m_szImageType[260] = {};
};
