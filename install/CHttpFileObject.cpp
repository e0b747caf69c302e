#include "CHttpFileObject.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <algorithm>

#include "CInstallerFile.h"
#include "CMyProgressCtrl.h"

namespace {

constexpr long kBufferSize = 100 * 1024;  // large reads: the download keeps pace with curl(1)
// A transfer that moves less than one byte per second for a minute has stalled.
constexpr long kStallBytesPerSecond = 1;
constexpr long kStallSeconds = 60;

}  // namespace

// Takes the worker's thread messages on the worker thread.
class CHttpFileObject::Receiver : public QObject
{
public:
    explicit Receiver(CHttpFileObject* owner) : m_pOwner(owner) {}

    bool event(QEvent* event) override
    {
        if (event->type() == CWindowMessage::eventType()) {
            auto* message = static_cast<CWindowMessage*>(event);
            if (message->m_nMessage == WM_DOWNLOAD_START)
                m_pOwner->OnDownloadStart(message->m_wParam, message->m_lParam);
            return true;
        }
        return QObject::event(event);
    }

private:
    CHttpFileObject* m_pOwner;
};

CHttpFileObject::CHttpFileObject() : m_pReceiver(new Receiver(this))
{
    m_pReceiver->moveToThread(this);
}

CHttpFileObject::~CHttpFileObject()
{
    delete m_pReceiver;  // only left when the thread never ran
    EndCurl();
}

CHttpFileObject* CHttpFileObject::BeginThread()
{
    auto* worker = new CHttpFileObject;
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
    if (!worker->isRunning()) {
        delete worker;
        return nullptr;
    }
    return worker;
}

void CHttpFileObject::run()
{
    exec();
    delete m_pReceiver;
    m_pReceiver = nullptr;
}

bool CHttpFileObject::Init(std::string url)
{
    m_strUrl = std::move(url);
    m_nCurlCode = curl_global_init(CURL_GLOBAL_ALL);
    if (m_nCurlCode != CURLE_OK) {
        curl_global_cleanup();
        return false;
    }
    m_bGlobalInit = true;
    m_pCurl.reset(curl_easy_init());
    if (!m_pCurl) {
        EndCurl();
        return false;
    }
    m_nCurlCode = curl_easy_setopt(m_pCurl.get(), CURLOPT_WRITEFUNCTION, &WriteCallback);
    return m_nCurlCode == CURLE_OK;
}

void CHttpFileObject::StartDownload(std::string filePath)
{
    CURL* curl = m_pCurl.get();
    m_nCurlCode = curl_easy_setopt(curl, CURLOPT_URL, m_strUrl.c_str());
    m_strFilePath = std::move(filePath);
    m_pFile = std::make_unique<CInstallerFile>(m_strFilePath);
    m_nCurlCode = curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    m_pWindow = m_hProgressWnd ? m_hProgressWnd->parentWidget() : nullptr;
    m_bHasProgress = m_hProgressWnd != nullptr;
    if (m_hProgressWnd)
        m_progressLink = m_hProgressWnd->GetWorkerLink();
    QCoreApplication::postEvent(m_pReceiver, new CWindowMessage(WM_DOWNLOAD_START));
}

void CHttpFileObject::Abandon(int waitMs)
{
    m_bAbort = true;
    // A worker waiting in a progress call returns at once.
    CMyProgressCtrl* progress = m_hProgressWnd;
    if (progress)
        progress->CancelPendingCalls();
    {
        std::lock_guard lock(m_mutex);
        m_bAbandoned = true;
        m_hProgressWnd = nullptr;
        m_pWindow = nullptr;
    }
    m_cvBox.notify_all();
    quit();  // a worker that never got its start message just ends its loop
    wait(QDeadlineTimer(waitMs));
}

void CHttpFileObject::OnDownloadStart(WPARAM, LPARAM)
{
    const bool ok = DoDownload();
    if (ok)
        PostOutcome(WM_DOWNLOAD_FINISHED, 0);
    else
        PostOutcome(WM_INSTALLER_ERROR, 5);
    m_pFile.reset();
    exit(0);
}

bool CHttpFileObject::DoDownload()
{
    CURL* curl = m_pCurl.get();
    bool ok = curl && !m_bAbort && m_pFile && m_pFile->Open();
    long status = 0;
    if (ok) {
        const auto run = [&](auto&& step) {
            if (m_nCurlCode == CURLE_OK)
                m_nCurlCode = step();
        };
        m_nCurlCode = CURLE_OK;
        run([&] { return curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https"); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBufferSize); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerSecond); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kStallSeconds); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &ProgressCallback); });
        run([&] { return curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this); });
        run([&] { return curl_easy_perform(curl); });
        run([&] { return curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status); });
        ok = m_nCurlCode == CURLE_OK && status == 200 && !m_bAbort;
    }
    // Only a complete 200 transfer, fully written, takes the installer's name.
    if (ok)
        ok = m_pFile->Commit();
    else if (m_pFile)
        m_pFile->Discard();
    EndCurl();
    if (!ok && !m_bAbort)
        ShowFailureBox();
    return ok;
}

std::size_t CHttpFileObject::WriteCallback(char* data, std::size_t size, std::size_t count,
                                           void* userdata)
{
    auto* self = static_cast<CHttpFileObject*>(userdata);
    const std::size_t bytes = size * count;
    if (self->m_bAbort || !self->m_pFile->Write(data, bytes))
        return 0;  // libcurl ends the transfer with a write error
    return bytes;
}

int CHttpFileObject::ProgressCallback(void* userdata, curl_off_t total, curl_off_t now, curl_off_t,
                                      curl_off_t)
{
    auto* self = static_cast<CHttpFileObject*>(userdata);
    if (self->m_bAbort)
        return 1;
    // Without an announced size there is no percentage: the bar stays where it is.
    if (total <= 0)
        return 0;
    const double percent = static_cast<double>(now) / static_cast<double>(total) * 100.0;
    const int pos = std::clamp(static_cast<int>(percent), 0, 100);
    if (pos == self->m_nLastPos || !self->m_bHasProgress)
        return 0;
    self->m_nLastPos = pos;
    if (!self->m_progressLink.SetPos(pos)) {
        self->m_bAbort = true;  // the window is going away
        return 1;
    }
    return 0;
}

void CHttpFileObject::ShowFailureBox()
{
    std::unique_lock lock(m_mutex);
    if (m_bAbandoned)
        return;
    m_bBoxClosed = false;
    QObject* context = m_pWindow ? m_pWindow : QCoreApplication::instance();
    if (!context)
        return;
    QMetaObject::invokeMethod(
        context, [this] { ShowFailureBoxOnGuiThread(); }, Qt::QueuedConnection);
    m_cvBox.wait(lock, [this] { return m_bBoxClosed || m_bAbandoned; });
}

void CHttpFileObject::ShowFailureBoxOnGuiThread()
{
    QPointer<QWidget> owner;
    {
        std::lock_guard lock(m_mutex);
        if (!m_bAbandoned)
            owner = m_hProgressWnd;
    }
    if (!m_bAbandoned) {
        // The window may end while the box is open and take the box with it.
        QPointer<QMessageBox> box =
            new QMessageBox(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                            QString::fromUtf8("网络中断！"), QMessageBox::Ok, owner.data());
        box->exec();
        delete box.data();
    }
    {
        std::lock_guard lock(m_mutex);
        m_bBoxClosed = true;
    }
    m_cvBox.notify_all();
}

void CHttpFileObject::PostOutcome(unsigned message, WPARAM wParam)
{
    std::lock_guard lock(m_mutex);
    if (!m_bAbandoned && !m_bAbort && m_pWindow)
        QCoreApplication::postEvent(m_pWindow, new CWindowMessage(message, wParam));
}

void CHttpFileObject::EndCurl()
{
    m_pCurl.reset();
    if (m_bGlobalInit) {
        m_bGlobalInit = false;
        curl_global_cleanup();
    }
}
