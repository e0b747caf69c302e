// The download worker: a thread with its own event loop that fetches the full installer with
// one HTTP GET, streams it into a private file beside the installer path, moves the bar while
// it runs, and posts the outcome to the window that owns the bar. It deletes itself once its
// thread has ended.
#pragma once

#include <curl/curl.h>

#include <QThread>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "CMyProgressCtrl.h"
#include "CWindowMessage.h"

class CInstallerFile;

class CHttpFileObject : public QThread
{
    Q_OBJECT
public:
    // Creates a worker and starts its thread, which then waits for its start message.
    // nullptr when the thread cannot be started.
    static CHttpFileObject* BeginThread();

    // Owner's thread: prepares the transfer of `url`; false when libcurl cannot be set up.
    bool Init(std::string url);
    // Owner's thread: hands the transfer, with the installer path, to the worker thread.
    void StartDownload(std::string filePath);

    // Owner's thread, when the window goes away: the transfer stops at its next callback,
    // nothing more is shown or posted, no file is left, and the thread ends. Waits for that
    // at most `waitMs` milliseconds. Safe in every state, also after the outcome was posted.
    void Abandon(int waitMs);

    // The progress bar: receives the percentages, owns the failure box, and its parent window
    // receives the outcome. Set by the owner before StartDownload.
    CMyProgressCtrl* m_hProgressWnd = nullptr;

protected:
    void run() override;
    void OnDownloadStart(WPARAM wParam, LPARAM lParam);
    bool DoDownload();
    static int ProgressCallback(void* userdata, curl_off_t total, curl_off_t now,
                                curl_off_t uploadTotal, curl_off_t uploadNow);

private:
    class Receiver;
    struct CurlCleanup
    {
        void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    };

    CHttpFileObject();
    ~CHttpFileObject() override;

    static std::size_t WriteCallback(char* data, std::size_t size, std::size_t count,
                                     void* userdata);
    void ShowFailureBox();
    void ShowFailureBoxOnGuiThread();
    void PostOutcome(unsigned message, WPARAM wParam);
    void EndCurl();

    std::unique_ptr<CURL, CurlCleanup> m_pCurl;
    std::string m_strUrl;
    std::string m_strFilePath;
    int m_nCurlCode = 0;
    bool m_bGlobalInit = false;
    int m_nLastPos = -1;  // the last percentage sent to the bar
    std::unique_ptr<CInstallerFile> m_pFile;
    Receiver* m_pReceiver = nullptr;  // lives in the worker thread; deleted when its loop ends
    QObject* m_pWindow = nullptr;     // the bar's parent, taken on the owner's thread
    // The worker reaches the bar only through this link: once the bar is gone or its calls
    // are cancelled, a call returns false at once instead of touching the widget.
    CMyProgressCtrl::WorkerLink m_progressLink;
    bool m_bHasProgress = false;

    // Between the worker and the owner's thread: the window is used only under the lock and
    // only until Abandon cleared it.
    std::mutex m_mutex;
    std::condition_variable m_cvBox;
    bool m_bAbandoned = false;
    bool m_bBoxClosed = false;
    std::atomic<bool> m_bAbort{false};
};
