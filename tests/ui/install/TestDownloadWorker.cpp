// The download worker against a real loopback server, with a real progress bar in a window.
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>
#include <sstream>

#include "CHttpFileObject.h"
#include "CMyProgressCtrl.h"
#include "CWindowMessage.h"
#include "LoopbackServer.h"
#include "ModalWatcher.h"

namespace {

// Stands in for the installer window: keeps every message the worker posts to it.
class MessageSink : public QWidget
{
public:
    QVector<QPair<unsigned, WPARAM>> messages;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == CWindowMessage::eventType()) {
            auto* message = static_cast<CWindowMessage*>(event);
            messages.append({message->m_nMessage, message->m_wParam});
            return true;
        }
        return QWidget::event(event);
    }
};

// Counts the calls that cross from the worker into the GUI thread to reach the bar.
class CallCounter : public QObject
{
public:
    int calls = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall)
            ++calls;
        return false;
    }
};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

}  // namespace

class TestDownloadWorker : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void outcomes_data();
    void outcomes();
    void plantedLinkIsReplacedNotFollowed();
    void fileSizeLimitIsAFailure();
    void abandonMidTransferLeavesNothing();
    void abandonBeforeStartEndsTheThread();

private:
    // Starts a worker for `url` into `path`; returns it watched by a guard.
    QPointer<QObject> Start(const std::string& url, const std::string& path);
    void WaitForEnd(const QPointer<QObject>& guard);

    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<MessageSink> m_window;
    CMyProgressCtrl* m_bar = nullptr;
    CallCounter m_counter;
};

void TestDownloadWorker::init()
{
    if (!m_server)
        m_server = std::make_unique<LoopbackServer>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<MessageSink>();
    m_bar = new CMyProgressCtrl(1010, m_window.get());
    m_bar->SetRange(0, 100);
    m_bar->SetPos(0);
    m_counter.calls = 0;
    m_bar->installEventFilter(&m_counter);
}

void TestDownloadWorker::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

QPointer<QObject> TestDownloadWorker::Start(const std::string& url, const std::string& path)
{
    CHttpFileObject* worker = CHttpFileObject::BeginThread();
    if (!worker)
        return {};
    QPointer<QObject> guard(worker);
    worker->m_hProgressWnd = m_bar;
    if (worker->Init(url))
        worker->StartDownload(path);
    return guard;
}

void TestDownloadWorker::WaitForEnd(const QPointer<QObject>& guard)
{
    // The worker deletes itself after its thread ended; everything it posted before has
    // been delivered by then.
    QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 20000);
}

void TestDownloadWorker::outcomes_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<int>("finalPos");

    QTest::newRow("200 with a length: the file lands, the bar reaches 100") << "ok" << true << 100;
    QTest::newRow("200 in small paced blocks: one call per percentage at most")
        << "paced" << true << 100;
    QTest::newRow("200 without a length: the file lands, the bar stays at 0")
        << "nolength" << true << 0;
    QTest::newRow("200 with an empty body: an empty file") << "empty" << true << 0;
    QTest::newRow("404 is a failure") << "404" << false << -1;
    QTest::newRow("302 is not followed and is a failure") << "302" << false << -1;
    QTest::newRow("connection dropped halfway is a failure") << "drophalf" << false << -1;
    QTest::newRow("no address is a failure") << "" << false << -1;
    QTest::newRow("another scheme is refused") << "file" << false << -1;
    QTest::newRow("unwritable folder is a failure") << "ok-unwritable" << false << -1;
}

void TestDownloadWorker::outcomes()
{
    QFETCH(QString, route);
    QFETCH(bool, succeeds);
    QFETCH(int, finalPos);

    std::string folder = m_dir->path().toStdString();
    std::string url;
    if (route == "file") {
        const std::string source = folder + "/source";
        std::ofstream(source) << "local";
        url = "file://" + source;
    } else if (route == "ok-unwritable") {
        // A folder that even root cannot create files in.
        folder = m_dir->path().toStdString() + "/missing";
        url = m_server->Url("ok");
    } else if (!route.isEmpty()) {
        url = m_server->Url(route.toStdString());
    }
    const std::string path = folder + "/Setup.run";

    ModalWatcher watcher;
    const QPointer<QObject> guard = Start(url, path);
    QVERIFY(guard);
    WaitForEnd(guard);

    QCOMPARE(m_window->messages.size(), 1);
    if (succeeds) {
        QCOMPARE(m_window->messages[0].first, WM_DOWNLOAD_FINISHED);
        QCOMPARE(watcher.seen.size(), 0);
        std::string expected = m_server->Payload();
        if (route == "empty")
            expected.clear();
        else if (route == "paced")
            expected.resize(m_server->PacedSize());
        QVERIFY(ReadFile(path) == expected);
        struct stat info;
        QCOMPARE(lstat(path.c_str(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0700u);
        QCOMPARE(m_bar->GetPos(), finalPos);
        QVERIFY2(m_counter.calls <= 101, qPrintable(QString::number(m_counter.calls)));
        if (route == "nolength" || route == "empty")
            QCOMPARE(m_counter.calls, 0);
        QCOMPARE(Entries(m_dir->path()), QStringList{"Setup.run"});
    } else {
        QCOMPARE(m_window->messages[0].first, WM_INSTALLER_ERROR);
        QCOMPARE(m_window->messages[0].second, WPARAM(5));
        QCOMPARE(watcher.seen.size(), 1);
        QCOMPARE(watcher.seen[0].text, QString::fromUtf8("网络中断！"));
        QCOMPARE(watcher.seen[0].title, QGuiApplication::applicationDisplayName());
        QCOMPARE(watcher.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(access(path.c_str(), F_OK) != 0);
        QStringList left = Entries(m_dir->path());
        left.removeAll("source");
        QCOMPARE(left, QStringList{});
    }
}

void TestDownloadWorker::plantedLinkIsReplacedNotFollowed()
{
    const std::string folder = m_dir->path().toStdString();
    const std::string victim = folder + "/victim";
    const std::string path = folder + "/Setup.run";
    std::ofstream(victim) << "original";
    QCOMPARE(symlink(victim.c_str(), path.c_str()), 0);

    ModalWatcher watcher;
    const QPointer<QObject> guard = Start(m_server->Url("ok"), path);
    WaitForEnd(guard);

    QCOMPARE(m_window->messages.size(), 1);
    QCOMPARE(m_window->messages[0].first, WM_DOWNLOAD_FINISHED);
    QCOMPARE(ReadFile(victim), std::string("original"));
    struct stat info;
    QCOMPARE(lstat(path.c_str(), &info), 0);
    QVERIFY(S_ISREG(info.st_mode));
    QVERIFY(ReadFile(path) == m_server->Payload());
}

void TestDownloadWorker::fileSizeLimitIsAFailure()
{
    // The kernel refuses writes beyond 1 MiB here, as a full disk would.
    struct rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 1024 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);

    const std::string path = m_dir->path().toStdString() + "/Setup.run";
    ModalWatcher watcher;
    const QPointer<QObject> guard = Start(m_server->Url("ok"), path);
    WaitForEnd(guard);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);

    QCOMPARE(m_window->messages.size(), 1);
    QCOMPARE(m_window->messages[0].first, WM_INSTALLER_ERROR);
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(Entries(m_dir->path()), QStringList{});
}

void TestDownloadWorker::abandonMidTransferLeavesNothing()
{
    const std::string path = m_dir->path().toStdString() + "/Setup.run";
    ModalWatcher watcher;
    const QPointer<QObject> guard = Start(m_server->Url("endless"), path);
    auto* worker = qobject_cast<CHttpFileObject*>(guard.data());
    QVERIFY(worker);
    QTRY_VERIFY_WITH_TIMEOUT(m_bar->GetPos() > 0 || m_counter.calls > 0, 10000);

    worker->Abandon(3000);
    QVERIFY2(worker->isFinished(), "the worker did not stop within the bounded wait");
    WaitForEnd(guard);

    QCOMPARE(m_window->messages.size(), 0);
    QCOMPARE(watcher.seen.size(), 0);
    QCOMPARE(Entries(m_dir->path()), QStringList{});
}

void TestDownloadWorker::abandonBeforeStartEndsTheThread()
{
    CHttpFileObject* worker = CHttpFileObject::BeginThread();
    QVERIFY(worker);
    const QPointer<QObject> guard(worker);
    worker->m_hProgressWnd = m_bar;
    QVERIFY(worker->Init(m_server->Url("ok")));
    worker->Abandon(3000);
    QVERIFY(worker->isFinished());
    WaitForEnd(guard);
    QCOMPARE(m_window->messages.size(), 0);
}

QTEST_MAIN(TestDownloadWorker)
#include "TestDownloadWorker.moc"
