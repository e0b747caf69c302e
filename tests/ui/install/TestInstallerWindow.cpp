// The window's installation handlers with the real controls, offscreen: the install command and
// its timer, the agreement box, the licence link, the launch and the usage events.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>

#include "CDialogP.h"
#include "CHttpFileObject.h"
#include "CInstallerWindowBase.h"
#include "CMyProgressCtrl.h"
#include "CPngStatic.h"
#include "LoopbackServer.h"
#include "ModalWatcher.h"
#include "MyEditBrowseCtrl.h"
#include "ResourceIds.h"
#include "ResourceImages.h"
#include "ServiceClient.h"

namespace {

// The installer window's members built from the real controls, in the template's places,
// with the option view showing; outcome messages are recorded and, when asked, handled.
class TestWindow : public CInstallerWindowBase
{
public:
    explicit TestWindow(ServiceClient* client)
    {
        resize(479, 383);
        m_pServiceClient = client;
        m_stcDownloading = Label(res::IDC_DOWNLOADING, "正在下载");
        m_stcPercent = Label(res::IDC_PERCENT, "100%");
        m_progress = new CMyProgressCtrl(res::IDC_PROGRESS, this);
        m_progress->SetRange(0, 100);
        m_progress->SetPos(0);
        m_pngInstall = new CPngStatic(res::IDC_INSTALL, true, this);
        m_pngAgree = new CPngStatic(res::IDC_AGREE, true, this);
        m_editFolder = new MyEditBrowseCtrl(res::IDC_FOLDER, this);
        m_editFolder->setText("/opt/Vantora");
        m_stcAgreeText = Label(res::IDC_AGREE_TEXT, "阅读并同意");
        m_stcLicenseLink = Label(res::IDC_LICENSE_LINK, "软件许可协议");
        m_stcNetworkHint = Label(res::IDC_NETWORK_HINT, "请保持网络连接畅通!");
        m_initialInstall.reset(LoadPngResourceImage(res::IDP_INSTALL));
        m_initialAgree.reset(LoadPngResourceImage(res::IDP_AGREE_TICKED));
        m_pngInstall->m_pImage = m_initialInstall.get();
        m_pngAgree->m_pImage = m_initialAgree.get();
        for (QWidget* w :
             {static_cast<QWidget*>(m_stcDownloading), static_cast<QWidget*>(m_stcPercent),
              static_cast<QWidget*>(m_progress), static_cast<QWidget*>(m_stcNetworkHint)})
            w->hide();
    }

    bool OnCommand(WPARAM wParam, LPARAM) override
    {
        switch (LOWORD(wParam)) {
            case res::IDC_INSTALL:
                return InstallCommand();
            case res::IDC_AGREE:
                return AgreementToggle();
            case res::IDC_LICENSE_LINK:
                return LicenceDisplay();
        }
        return true;
    }

    using CInstallerWindowBase::m_nTimerId;
    using CInstallerWindowBase::OnDownloadFinished;
    using CInstallerWindowBase::OnTimer;

    QVector<unsigned> messages;
    bool handleFinished = false;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == CWindowMessage::eventType()) {
            const auto* message = static_cast<CWindowMessage*>(event);
            messages.append(message->m_nMessage);
            if (message->m_nMessage == WM_DOWNLOAD_FINISHED && handleFinished)
                OnDownloadFinished(0, 0);
            return true;
        }
        return CInstallerWindowBase::event(event);
    }

private:
    QLabel* Label(int id, const char* text)
    {
        auto* label = new QLabel(QString::fromUtf8(text), this);
        label->setObjectName(QString::number(id));
        return label;
    }

    std::unique_ptr<QImage> m_initialInstall;
    std::unique_ptr<QImage> m_initialAgree;
};

bool SameImage(const QImage* shown, unsigned id)
{
    std::unique_ptr<QImage> expected(LoadPngResourceImage(id));
    return shown && !expected->isNull() && *shown == *expected;
}

std::string Param(const httplib::Params& params, const std::string& key)
{
    const auto it = params.find(key);
    return it == params.end() ? std::string("<missing>") : it->second;
}

}  // namespace

class TestInstallerWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void timerLabel_data();
    void timerLabel();
    void progressReachesTheLabel();
    void agreementGate();
    void toggleSwapsBothPictures();
    void licenceLinkLeavesTheAgreement();
    void launchHandsOverTheFolder_data();
    void launchHandsOverTheFolder();
    void failedLaunchIsReported();
    void endingTheWindowStopsTheDownload();

private:
    // Clicks the install button; remembers the worker it started.
    void ClickInstall();
    bool OptionViewShown() const;
    bool DownloadViewShown() const;

    std::unique_ptr<LoopbackServer> m_server;
    std::unique_ptr<ServiceClient> m_client;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestWindow> m_window;
    QVector<QPointer<QObject>> m_workers;
};

void TestInstallerWindow::ClickInstall()
{
    CHttpFileObject* before = m_window->m_pDownloadThread;
    QVERIFY(m_window->OnCommand(MAKEWPARAM(res::IDC_INSTALL, 0), 0));
    if (m_window->m_pDownloadThread && m_window->m_pDownloadThread != before)
        m_workers.append(QPointer<QObject>(m_window->m_pDownloadThread));
}

void TestInstallerWindow::initTestCase()
{
    m_server = std::make_unique<LoopbackServer>();
    m_client = std::make_unique<ServiceClient>("KmsTzRbNyHqLfPx", "secret", m_server->BaseUrl());
}

void TestInstallerWindow::init()
{
    g_bAgreed = 1;
    m_server->ClearEvents();
    m_dir = std::make_unique<QTemporaryDir>();
    m_window = std::make_unique<TestWindow>(m_client.get());
    m_window->m_strMacAddress = u"00-1A-2B-3C-4D-5E";
    m_window->m_strDownloadUrl = m_server->Url("ok");
    m_window->m_strInstallerPath = m_dir->path().toStdString() + "/Setup.run";
    m_window->show();
}

void TestInstallerWindow::cleanup()
{
    m_window.reset();
    // Workers delete themselves once their thread has ended.
    for (const QPointer<QObject>& worker : m_workers)
        QTRY_VERIFY_WITH_TIMEOUT(worker.isNull(), 5000);
    m_workers.clear();
    m_dir.reset();
}

bool TestInstallerWindow::OptionViewShown() const
{
    TestWindow& w = *m_window;
    return w.m_editFolder->isVisible() && w.m_pngAgree->isVisible() &&
           w.m_stcAgreeText->isVisible() && w.m_stcLicenseLink->isVisible() &&
           w.m_pngInstall->isVisible() && !w.m_stcDownloading->isVisible() &&
           !w.m_stcPercent->isVisible() && !w.m_progress->isVisible() &&
           !w.m_stcNetworkHint->isVisible();
}

bool TestInstallerWindow::DownloadViewShown() const
{
    TestWindow& w = *m_window;
    return !w.m_editFolder->isVisible() && !w.m_pngAgree->isVisible() &&
           !w.m_stcAgreeText->isVisible() && !w.m_stcLicenseLink->isVisible() &&
           !w.m_pngInstall->isVisible() && w.m_stcDownloading->isVisible() &&
           w.m_stcPercent->isVisible() && w.m_progress->isVisible() &&
           w.m_stcNetworkHint->isVisible();
}

void TestInstallerWindow::timerLabel_data()
{
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("pos");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("timerRuns");

    QTest::newRow("start of the bar") << 100 << 0 << "0%" << true;
    QTest::newRow("part way") << 100 << 37 << "37%" << true;
    QTest::newRow("one short of the end") << 100 << 99 << "99%" << true;
    QTest::newRow("the end stops the timer and still writes 100%") << 100 << 100 << "100%" << false;
    QTest::newRow("other range: truncating percentage") << 300 << 200 << "66%" << true;
}

void TestInstallerWindow::timerLabel()
{
    QFETCH(int, upper);
    QFETCH(int, pos);
    QFETCH(QString, label);
    QFETCH(bool, timerRuns);

    TestWindow& w = *m_window;
    w.m_progress->SetRange(0, upper);
    w.m_progress->SetPos(pos);
    w.m_nTimerId = w.startTimer(100000);
    w.m_stcPercent->show();
    w.OnTimer(1);
    QCOMPARE(w.m_stcPercent->text(), label);
    QVERIFY(w.m_stcPercent->isVisible());
    QCOMPARE(w.m_nTimerId != 0, timerRuns);
    QCOMPARE(w.m_progress->GetPos(), pos);
}

void TestInstallerWindow::progressReachesTheLabel()
{
    TestWindow& w = *m_window;
    ModalWatcher watcher;
    ClickInstall();
    QVERIFY(DownloadViewShown());
    QVERIFY(w.m_nTimerId != 0);
    const QString first = w.m_stcPercent->text();
    QVERIFY2(first == "0%" || first.endsWith('%'), qPrintable(first));

    // The worker moves the bar; timer 1 copies it into the label and stops at the end.
    QTRY_COMPARE_WITH_TIMEOUT(w.messages, QVector<unsigned>{WM_DOWNLOAD_FINISHED}, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(w.m_stcPercent->text(), QString("100%"), 5000);
    QCOMPARE(w.m_progress->GetPos(), 100);
    QCOMPARE(w.m_nTimerId, 0);
    QCOMPARE(watcher.seen.size(), 0);

    const auto events = m_server->Events();
    QCOMPARE(events.size(), std::size_t(1));
    QCOMPARE(Param(events[0], "type"), std::string("0"));
    QCOMPARE(Param(events[0], "code"), std::string("S2_d01"));
    QCOMPARE(Param(events[0], "remark"), std::string("mac=00-1A-2B-3C-4D-5E,channel=0"));
}

void TestInstallerWindow::agreementGate()
{
    TestWindow& w = *m_window;
    QVERIFY(w.OnCommand(MAKEWPARAM(res::IDC_AGREE, 0), 0));
    QCOMPARE(g_bAgreed, 0);

    // Not agreed: an install click changes nothing and starts nothing.
    ClickInstall();
    QVERIFY(OptionViewShown());
    QCOMPARE(w.m_nTimerId, 0);
    QVERIFY(w.m_pDownloadThread == nullptr);
    QVERIFY(m_server->Events().empty());

    // Agreed again: the download starts.
    ModalWatcher watcher;
    QVERIFY(w.OnCommand(MAKEWPARAM(res::IDC_AGREE, 0), 0));
    QCOMPARE(g_bAgreed, 1);
    ClickInstall();
    QVERIFY(DownloadViewShown());
    QVERIFY(w.m_pDownloadThread != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(w.messages, QVector<unsigned>{WM_DOWNLOAD_FINISHED}, 20000);
    QCOMPARE(m_server->Events().size(), std::size_t(1));
}

void TestInstallerWindow::toggleSwapsBothPictures()
{
    TestWindow& w = *m_window;
    for (int round = 0; round < 3; ++round) {
        w.OnCommand(MAKEWPARAM(res::IDC_AGREE, 0), 0);
        QCOMPARE(g_bAgreed, 0);
        QVERIFY(SameImage(w.m_pngInstall->m_pImage, res::IDP_INSTALL_GREY));
        QVERIFY(SameImage(w.m_pngAgree->m_pImage, res::IDP_AGREE_EMPTY));
        w.OnCommand(MAKEWPARAM(res::IDC_AGREE, 0), 0);
        QCOMPARE(g_bAgreed, 1);
        QVERIFY(SameImage(w.m_pngInstall->m_pImage, res::IDP_INSTALL));
        QVERIFY(SameImage(w.m_pngAgree->m_pImage, res::IDP_AGREE_TICKED));
    }
    // The pictures shown are still alive and drawable.
    QVERIFY(!w.grab().isNull());
    QVERIFY(OptionViewShown());
}

void TestInstallerWindow::licenceLinkLeavesTheAgreement()
{
    TestWindow& w = *m_window;
    for (int agreed : {1, 0}) {
        g_bAgreed = agreed;
        bool opened = false;
        QTimer closer;
        closer.setInterval(20);
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* licence = qobject_cast<CDialogP*>(QApplication::activeModalWidget())) {
                opened = true;
                licence->done(IDCLOSE);
            }
        });
        closer.start();
        QVERIFY(w.OnCommand(MAKEWPARAM(res::IDC_LICENSE_LINK, 0), 0));
        closer.stop();
        QVERIFY(opened);
        QCOMPARE(g_bAgreed, agreed);
        QVERIFY(OptionViewShown());
    }
}

void TestInstallerWindow::launchHandsOverTheFolder_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("argument");

    QTest::newRow("default folder") << "/opt/Vantora"
                                    << "/opt/Vantora|online_install";
    QTest::newRow("spaces stay unquoted") << "/opt/My Apps/Vantora"
                                          << "/opt/My Apps/Vantora|online_install";
    QTest::newRow("a trailing slash is kept") << "/opt/Vantora/"
                                              << "/opt/Vantora/|online_install";
    QTest::newRow("empty folder") << ""
                                  << "|online_install";
    QTest::newRow("Chinese folder in UTF-8") << "/opt/软件"
                                             << "/opt/软件|online_install";
    QTest::newRow("at most 259 units are taken")
        << QString(300, 'a') << QString(259, 'a') + "|online_install";
}

void TestInstallerWindow::launchHandsOverTheFolder()
{
    QFETCH(QString, folder);
    QFETCH(QString, argument);

    // The payload records its argv, one per line, and exits.
    TestWindow& w = *m_window;
    const std::string record = m_dir->path().toStdString() + "/argv.txt";
    {
        std::ofstream script(w.m_strInstallerPath);
        script << "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > \"" << record
               << ".tmp\" && mv \"" << record << ".tmp\" \"" << record << "\"\n";
    }
    chmod(w.m_strInstallerPath.c_str(), 0600);  // as the download leaves it, minus the x bit
    w.m_editFolder->setText(folder);

    QCOMPARE(w.OnDownloadFinished(0, 0), 0L);
    QCOMPARE(w.result(), IDCLOSE);
    QVERIFY(!w.isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString::fromStdString(record)), 10000);
    QFile file(QString::fromStdString(record));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines, (QStringList{QString::fromStdString(w.m_strInstallerPath), argument}));

    const auto events = m_server->Events();
    QCOMPARE(events.size(), std::size_t(1));
    QCOMPARE(Param(events[0], "code"), std::string("S2_d02"));
    QCOMPARE(Param(events[0], "remark"), std::string("mac=00-1A-2B-3C-4D-5E,channel=0"));
}

void TestInstallerWindow::failedLaunchIsReported()
{
    TestWindow& w = *m_window;
    w.m_strInstallerPath = m_dir->path().toStdString() + "/missing.run";
    ModalWatcher watcher;
    QCOMPARE(w.OnDownloadFinished(0, 0), 0L);
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, QString::fromUtf8("安装程序启动失败！"));
    QCOMPARE(watcher.seen[0].title, QGuiApplication::applicationDisplayName());
    QCOMPARE(watcher.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(w.result(), IDCLOSE);
    QVERIFY(!w.isVisible());
    QVERIFY(m_server->Events().empty());
}

void TestInstallerWindow::endingTheWindowStopsTheDownload()
{
    TestWindow& w = *m_window;
    w.m_strDownloadUrl = m_server->Url("endless");
    ModalWatcher watcher;
    ClickInstall();
    QVERIFY(!m_workers.isEmpty());
    QPointer<QObject> worker = m_workers.last();
    QVERIFY(worker);
    QTRY_VERIFY_WITH_TIMEOUT(w.m_progress->GetPos() > 0, 10000);

    w.done(IDCLOSE);
    QVERIFY2(!worker || static_cast<CHttpFileObject*>(worker.data())->isFinished(),
             "the download still runs after the window ended");
    QTRY_VERIFY_WITH_TIMEOUT(worker.isNull(), 5000);
    QCOMPARE(w.messages, QVector<unsigned>{});
    QCOMPARE(watcher.seen.size(), 0);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{});
}

QTEST_MAIN(TestInstallerWindow)
#include "TestInstallerWindow.moc"
