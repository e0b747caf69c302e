// The installer window as the user meets it: the version query's outcomes, the layout, keys,
// the close question, minimising and dragging. Offscreen, with a real version service on
// loopback.
#include <httplib.h>

#include <QLineEdit>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>
#include <atomic>
#include <mutex>
#include <thread>

#include "CMyProgressCtrl.h"
#include "COnlineInstallerDlg.h"
#include "CPictureEx.h"
#include "CPngStatic.h"
#include "DialogTemplate.h"
#include "ModalWatcher.h"
#include "MyEditBrowseCtrl.h"
#include "Platform.h"
#include "ResourceIds.h"
#include "ResourceImages.h"
#include "ServiceClient.h"

namespace {

const QString kDownloadError = QStringLiteral("下载错误！");
const QString kClockBox = QStringLiteral("您的电脑系统时间不正确,请修改！");
const QString kCloseQuestion = QStringLiteral("确定要退出吗?");
const QString kCloseCaption = QStringLiteral("Vantora2.0安装");

// Answers the version query with whatever the test last set.
class VersionService
{
public:
    VersionService()
    {
        m_server.Post("/v1/version/return_version",
                      [this](const httplib::Request&, httplib::Response& res) {
                          std::lock_guard lock(m_mutex);
                          ++m_nRequests;
                          res.set_content(m_reply, "application/json");
                      });
        // A download that runs far longer than any test waits, so the window stays downloading.
        m_server.Get("/slow/inst.exe", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                64u * 1024 * 1024, "application/octet-stream",
                [this](std::size_t, std::size_t length, httplib::DataSink& sink) {
                    if (m_bStopping)
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    const std::string block(std::min<std::size_t>(length, 4096), 'x');
                    return sink.write(block.data(), block.size());
                });
        });
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::yield();
    }
    ~VersionService()
    {
        m_bStopping = true;
        m_server.stop();
        m_thread.join();
    }
    void SetReply(const std::string& reply)
    {
        std::lock_guard lock(m_mutex);
        m_reply = reply;
    }
    int Requests()
    {
        std::lock_guard lock(m_mutex);
        return m_nRequests;
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_nPort); }

private:
    httplib::Server m_server;
    std::thread m_thread;
    std::mutex m_mutex;
    std::string m_reply;
    int m_nRequests = 0;
    int m_nPort = 0;
    std::atomic<bool> m_bStopping{false};
};

int CountBoxes(const ModalWatcher& watcher, const QString& text)
{
    int n = 0;
    for (const SeenBox& box : watcher.seen)
        n += box.text == text ? 1 : 0;
    return n;
}

QRect TemplatePixels(int id, const QFont& font)
{
    for (const dlg::DialogItem& item : dlg::InstallerDialogTemplate().items)
        if (item.id == id)
            return dlg::DialogUnitsToPixels(item.rect, dlg::DialogBaseUnits(font));
    return {};
}

}  // namespace

class TestAppWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versionQuery_data();
    void versionQuery();
    void layout();
    void enterAndEscapeChangeNothing_data();
    void enterAndEscapeChangeNothing();
    void commandDispatch();
    void installerError_data();
    void installerError();
    void closeQuestion_data();
    void closeQuestion();
    void minimiseGlyph();
    void drag_data();
    void drag();
    void licenceLinkColour();

private:
    // A window initialised against the loopback service with the given reply.
    std::unique_ptr<COnlineInstallerDlg> ReadyWindow(const std::string& reply = "{}");

    QTemporaryDir m_tmp;
    std::unique_ptr<VersionService> m_service;
    std::unique_ptr<ServiceClient> m_client;
};

void TestAppWindow::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    qputenv("TMPDIR", m_tmp.path().toUtf8());
    m_service = std::make_unique<VersionService>();
    m_client = std::make_unique<ServiceClient>("test-key", "test-secret", m_service->Url());
}

std::unique_ptr<COnlineInstallerDlg> TestAppWindow::ReadyWindow(const std::string& reply)
{
    m_service->SetReply(reply);
    auto dlg = std::make_unique<COnlineInstallerDlg>();
    dlg->m_pServiceClient = m_client.get();
    if (!dlg->OnInitDialog())
        return nullptr;
    dlg->show();
    if (!QTest::qWaitForWindowExposed(dlg.get()))
        return nullptr;
    return dlg;
}

void TestAppWindow::versionQuery_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("unreachable");
    QTest::addColumn<bool>("errorBox");
    QTest::addColumn<bool>("clockBox");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("fileName");

    const QByteArray deep = QByteArray(40, '[') + QByteArray(40, ']');
    //                                 reply  unreachable error clock  url  file name
    QTest::newRow("service unreachable")
        << QByteArray() << true << true << false << QByteArray() << QByteArray();
    QTest::newRow("empty reply") << QByteArray() << false << true << false << QByteArray()
                                 << QByteArray();
    QTest::newRow("not JSON") << QByteArray("<html>bad gateway</html>") << false << true << false
                              << QByteArray() << QByteArray();
    QTest::newRow("clock refused")
        << QByteArray(R"({"code":1009})") << false << false << true << QByteArray() << QByteArray();
    QTest::newRow("clock refused, fraction")
        << QByteArray(R"({"code":1009.7,"data":{"url":"http://h/a.exe"}})") << false << false
        << true << QByteArray() << QByteArray();
    QTest::newRow("address") << QByteArray(
                                    R"({"code":0,"data":{"url":"http://127.0.0.1:9/x/inst.exe"}})")
                             << false << false << false
                             << QByteArray("http://127.0.0.1:9/x/inst.exe")
                             << QByteArray("inst.exe");
    QTest::newRow("address ending in a slash")
        << QByteArray(R"({"data":{"url":"http://h/a/"}})") << false << false << false
        << QByteArray("http://h/a/") << QByteArray("a/");
    QTest::newRow("code 200 without data")
        << QByteArray(R"({"code":200})") << false << false << false << QByteArray() << QByteArray();
    QTest::newRow("empty object") << QByteArray("{}") << false << false << false << QByteArray()
                                  << QByteArray();
    QTest::newRow("empty data") << QByteArray(R"({"data":{}})") << false << false << false
                                << QByteArray() << QByteArray();
    QTest::newRow("negative code")
        << QByteArray(R"({"code":-1009,"data":{"url":"http://h/a.exe"}})") << false << true << false
        << QByteArray() << QByteArray();
    QTest::newRow("textual code") << QByteArray(R"({"code":"1009"})") << false << true << false
                                  << QByteArray() << QByteArray();
    QTest::newRow("data is text") << QByteArray(R"({"data":"http://h/a.exe"})") << false << true
                                  << false << QByteArray() << QByteArray();
    QTest::newRow("url is a number") << QByteArray(R"({"data":{"url":7}})") << false << true
                                     << false << QByteArray() << QByteArray();
    QTest::newRow("deep nesting") << deep << false << true << false << QByteArray() << QByteArray();
    QTest::newRow("NUL in the url") << QByteArray(R"({"data":{"url":"http://h/a.exe\u0000/x"}})")
                                    << false << true << false << QByteArray() << QByteArray();
}

void TestAppWindow::versionQuery()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, unreachable);
    QFETCH(bool, errorBox);
    QFETCH(bool, clockBox);
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, fileName);

    m_service->SetReply(reply.toStdString());
    // A port nothing listens on: the bound port of a server that has been stopped again.
    std::unique_ptr<ServiceClient> deadClient;
    if (unreachable) {
        httplib::Server closed;
        const int port = closed.bind_to_any_port("127.0.0.1");
        closed.stop();
        deadClient =
            std::make_unique<ServiceClient>("k", "s", "http://127.0.0.1:" + std::to_string(port));
    }

    ModalWatcher watcher;
    COnlineInstallerDlg dlg;
    dlg.m_pServiceClient = unreachable ? deadClient.get() : m_client.get();
    const int requestsBefore = m_service->Requests();
    const bool ready = dlg.OnInitDialog();
    QCOMPARE(m_service->Requests() - requestsBefore, unreachable ? 0 : 1);
    QCOMPARE(ready, !clockBox);
    // What the window's loop meets first once it runs: a posted error, if any.
    QCoreApplication::sendPostedEvents(&dlg);

    QCOMPARE(CountBoxes(watcher, kDownloadError), errorBox ? 1 : 0);
    QCOMPARE(CountBoxes(watcher, kClockBox), clockBox ? 1 : 0);
    QCOMPARE(watcher.seen.size(), (errorBox || clockBox) ? 1 : 0);
    for (const SeenBox& box : watcher.seen) {
        QCOMPARE(box.title, QCoreApplication::applicationName());
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QCOMPARE(dlg.HasEnded(), errorBox || clockBox);
    if (dlg.HasEnded())
        QCOMPARE(dlg.result(), IDCLOSE);

    QCOMPARE(QByteArray::fromStdString(dlg.m_strDownloadUrl), url);
    if (clockBox)
        QVERIFY(dlg.m_strInstallerPath.empty());
    else
        QCOMPARE(QByteArray::fromStdString(dlg.m_strInstallerPath),
                 QByteArray::fromStdString(platform::TempFolder()) + fileName);
}

void TestAppWindow::layout()
{
    auto dlg = ReadyWindow();
    QVERIFY(dlg);
    const QFont font = dlg->font();

    QCOMPARE(dlg->geometry(), QRect(0, 0, 479, 359));
    QCOMPARE(dlg->minimumSize(), dlg->maximumSize());  // never resized afterwards
    QVERIFY(dlg->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!dlg->windowIcon().isNull());

    QWidget* banner = dlg->Control(res::IDC_BANNER);
    QCOMPARE(banner->pos(), QPoint(0, 0));
    QCOMPARE(banner->width(), 479);
    QCOMPARE(dlg->Control(res::IDC_CLOSE)->parentWidget(), banner);
    QCOMPARE(dlg->Control(res::IDC_MINIMIZE)->parentWidget(), banner);
    QCOMPARE(dlg->Control(res::IDC_LOGO)->parentWidget(), banner);
    QCOMPARE(dlg->Control(res::IDC_CLOSE)->geometry(), QRect(449, 15, 20, 20));
    QCOMPARE(dlg->Control(res::IDC_MINIMIZE)->geometry(), QRect(419, 15, 20, 20));
    // The logo keeps its template position and takes its picture's size.
    QCOMPARE(dlg->Control(res::IDC_LOGO)->geometry(),
             QRect(TemplatePixels(res::IDC_LOGO, font).topLeft(), QSize(74, 20)));

    QCOMPARE(dlg->Control(res::IDC_PROGRESS)->geometry(), QRect(34, 284, 410, 10));
    QCOMPARE(dlg->Control(res::IDC_DOWNLOAD)->geometry(), QRect(155, 299, 168, 30));
    QCOMPARE(dlg->Control(res::IDC_INSTALL)->geometry(), QRect(155, 254, 168, 30));
    QCOMPARE(dlg->Control(res::IDC_AGREE)->geometry(), QRect(30, 334, 17, 17));

    const QRect downloading = TemplatePixels(res::IDC_DOWNLOADING, font);
    QCOMPARE(dlg->Control(res::IDC_DOWNLOADING)->geometry(),
             QRect((479 - downloading.width()) / 2 - 30, 254, downloading.width() + 20,
                   downloading.height()));
    const QRect percent = TemplatePixels(res::IDC_PERCENT, font);
    QCOMPARE(dlg->Control(res::IDC_PERCENT)->geometry(),
             QRect(269, 254, percent.width() + 25, percent.height() + 16));
    const QRect folder = TemplatePixels(res::IDC_FOLDER, font);
    QCOMPARE(dlg->Control(res::IDC_FOLDER)->geometry(),
             QRect((479 - folder.width()) / 2, 294, folder.width(), folder.height() + 10));
    const QRect agreeText = TemplatePixels(res::IDC_AGREE_TEXT, font);
    QCOMPARE(dlg->Control(res::IDC_AGREE_TEXT)->geometry(),
             QRect(57, 334, agreeText.width(), agreeText.height()));
    const QRect link = TemplatePixels(res::IDC_LICENSE_LINK, font);
    QCOMPARE(dlg->Control(res::IDC_LICENSE_LINK)->geometry(),
             QRect(57 + agreeText.width() + 10, 334, link.width(), link.height()));
    QCOMPARE(dlg->Control(res::IDC_NETWORK_HINT)->pos(), QPoint(180, 304));

    // Only the ready phase's controls show.
    for (const dlg::DialogItem& item : dlg::InstallerDialogTemplate().items) {
        QWidget* control = dlg->Control(item.id);
        QVERIFY2(control->objectName() == QString::number(item.id),
                 qPrintable(control->objectName()));
        QVERIFY2(control->isVisible() == item.visibleAtStart, qPrintable(control->objectName()));
    }

    auto* edit = static_cast<MyEditBrowseCtrl*>(dlg->Control(res::IDC_FOLDER));
    QCOMPARE(edit->text(), QStringLiteral("/opt/Vantora"));
    QTRY_VERIFY(edit->hasFocus());

    auto* bar = static_cast<CMyProgressCtrl*>(dlg->Control(res::IDC_PROGRESS));
    int lower = -1, upper = -1;
    bar->GetRange(lower, upper);
    QCOMPARE(lower, 0);
    QCOMPARE(upper, 100);
    QCOMPARE(bar->GetPos(), 0);

    // The agreement box starts ticked.
    const std::unique_ptr<QImage> ticked(LoadPngResourceImage(res::IDP_AGREE_TICKED));
    auto* agree = static_cast<CPngStatic*>(dlg->Control(res::IDC_AGREE));
    QVERIFY(agree->m_pImage);
    QVERIFY(!ticked->isNull());
    QCOMPARE(*agree->m_pImage, *ticked);
}

void TestAppWindow::enterAndEscapeChangeNothing_data()
{
    QTest::addColumn<bool>("downloading");
    QTest::newRow("ready") << false;
    QTest::newRow("downloading") << true;
}

void TestAppWindow::enterAndEscapeChangeNothing()
{
    QFETCH(bool, downloading);
    auto dlg = ReadyWindow(R"({"data":{"url":")" + m_service->Url() + R"(/slow/inst.exe"}})");
    QVERIFY(dlg);
    ModalWatcher watcher;
    if (downloading) {
        QVERIFY(dlg->OnCommand(MAKEWPARAM(res::IDC_INSTALL, 0), 0));
        QVERIFY(dlg->Control(res::IDC_PROGRESS)->isVisible());
    }
    auto* edit = static_cast<QLineEdit*>(dlg->Control(res::IDC_FOLDER));
    const QRect before = dlg->geometry();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(dlg->focusWidget() ? dlg->focusWidget() : dlg.get(), key);
        QTest::keyClick(dlg.get(), key);
    }
    QCoreApplication::processEvents();
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->HasEnded());
    QCOMPARE(dlg->geometry(), before);
    QCOMPARE(edit->text(), QStringLiteral("/opt/Vantora"));
    QVERIFY(watcher.seen.isEmpty());
    QCOMPARE(dlg->Control(res::IDC_PROGRESS)->isVisible(), downloading);
    QCOMPARE(dlg->Control(res::IDC_INSTALL)->isVisible(), !downloading);
}

void TestAppWindow::commandDispatch()
{
    auto dlg = ReadyWindow();
    QVERIFY(dlg);
    // A notification other than a click is not this window's to take.
    QVERIFY(!dlg->OnCommand(MAKEWPARAM(res::IDC_INSTALL, 1), 0));
    // OK, Cancel and unknown commands are consumed and end nothing.
    for (const int id : {IDOK, IDCANCEL, res::IDC_DOWNLOAD, 4242})
        QVERIFY(dlg->OnCommand(MAKEWPARAM(id, 0), 0));
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->HasEnded());
    QVERIFY(!dlg->Control(res::IDC_PROGRESS)->isVisible());
}

void TestAppWindow::installerError_data()
{
    QTest::addColumn<quintptr>("wParam");
    QTest::newRow("from the worker (5)") << quintptr(5);
    QTest::newRow("zero") << quintptr(0);
    QTest::newRow("anything") << quintptr(0xDEADBEEF);
}

void TestAppWindow::installerError()
{
    QFETCH(quintptr, wParam);
    auto dlg = ReadyWindow();
    QVERIFY(dlg);
    ModalWatcher watcher;
    QCoreApplication::postEvent(dlg.get(), new CWindowMessage(WM_INSTALLER_ERROR, wParam, 0));
    QTRY_VERIFY(dlg->HasEnded());
    QCOMPARE(dlg->result(), IDCLOSE);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, kDownloadError);
    QCOMPARE(watcher.seen[0].title, QCoreApplication::applicationName());
    QCOMPARE(watcher.seen[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // A late message for a window that has ended shows nothing.
    QCoreApplication::postEvent(dlg.get(), new CWindowMessage(WM_INSTALLER_ERROR, 5, 0));
    QCoreApplication::sendPostedEvents(dlg.get());
    QCOMPARE(watcher.seen.size(), 1);
}

void TestAppWindow::closeQuestion_data()
{
    QTest::addColumn<bool>("fromGlyph");
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<int>("answer");
    QTest::newRow("close request, Yes") << false << false << int(QMessageBox::Yes);
    QTest::newRow("close request, No") << false << false << int(QMessageBox::No);
    QTest::newRow("close glyph, Yes") << true << false << int(QMessageBox::Yes);
    QTest::newRow("close glyph, No") << true << false << int(QMessageBox::No);
    QTest::newRow("close request while downloading, Yes") << false << true << int(QMessageBox::Yes);
    QTest::newRow("close glyph while downloading, No") << true << true << int(QMessageBox::No);
}

void TestAppWindow::closeQuestion()
{
    QFETCH(bool, fromGlyph);
    QFETCH(bool, downloading);
    QFETCH(int, answer);
    auto dlg = ReadyWindow(R"({"data":{"url":")" + m_service->Url() + R"(/slow/inst.exe"}})");
    QVERIFY(dlg);
    if (downloading)
        QVERIFY(dlg->OnCommand(MAKEWPARAM(res::IDC_INSTALL, 0), 0));
    ModalWatcher watcher({static_cast<QMessageBox::StandardButton>(answer)});
    if (fromGlyph)
        QTest::mouseClick(dlg->Control(res::IDC_CLOSE), Qt::LeftButton, {}, QPoint(10, 10));
    else
        dlg->close();
    QTRY_COMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, kCloseQuestion);
    QCOMPARE(watcher.seen[0].title, kCloseCaption);
    QCOMPARE(watcher.seen[0].buttons,
             QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
    if (answer == QMessageBox::Yes) {
        QTRY_VERIFY(dlg->HasEnded());
        QCOMPARE(dlg->result(), IDCLOSE);
        QVERIFY(!dlg->isVisible());
    } else {
        QCoreApplication::processEvents();
        QVERIFY(!dlg->HasEnded());
        QVERIFY(dlg->isVisible());
        QCOMPARE(dlg->Control(res::IDC_PROGRESS)->isVisible(), downloading);
    }
}

void TestAppWindow::minimiseGlyph()
{
    auto dlg = ReadyWindow();
    QVERIFY(dlg);
    QVERIFY(!dlg->isMinimized());
    QTest::mouseClick(dlg->Control(res::IDC_MINIMIZE), Qt::LeftButton, {}, QPoint(10, 10));
    QTRY_VERIFY(dlg->isMinimized());
    QVERIFY(!dlg->HasEnded());
}

void TestAppWindow::drag_data()
{
    QTest::addColumn<int>("id");  // 0: the window's own background
    QTest::addColumn<bool>("moves");
    QTest::newRow("background") << 0 << true;
    QTest::newRow("banner") << int(res::IDC_BANNER) << true;
    QTest::newRow("logo") << int(res::IDC_LOGO) << true;
    QTest::newRow("plain text 1043") << int(res::IDC_AGREE_TEXT) << true;
    QTest::newRow("agreement box") << int(res::IDC_AGREE) << false;
    QTest::newRow("licence link") << int(res::IDC_LICENSE_LINK) << false;
    QTest::newRow("folder field") << int(res::IDC_FOLDER) << false;
}

void TestAppWindow::drag()
{
    QFETCH(int, id);
    QFETCH(bool, moves);
    auto dlg = ReadyWindow();
    QVERIFY(dlg);
    ModalWatcher watcher;
    // The press point in window coordinates: the control's centre, or a spot of bare background
    // left of the folder field.
    QPoint at(12, 300);
    if (id != 0) {
        QWidget* control = dlg->Control(id);
        at = control->mapTo(dlg.get(), control->rect().center());
    }
    if (id == 0)
        QVERIFY(!dlg->childAt(at));

    QWindow* window = dlg->windowHandle();
    const QPoint start = dlg->pos();
    const QPoint offset(15, 9);
    QTest::mousePress(window, Qt::LeftButton, {}, at);
    QTest::mouseMove(window, at + offset);
    // The pointer stays where it was moved to on the screen, whether or not the window followed.
    const QPoint pointer = start + at + offset;
    QTest::mouseRelease(window, Qt::LeftButton, {}, pointer - dlg->pos());
    QCoreApplication::processEvents();
    QCOMPARE(dlg->pos(), moves ? start + offset : start);
    QVERIFY(watcher.seen.isEmpty());
}

void TestAppWindow::licenceLinkColour()
{
    auto dlg = ReadyWindow();
    QVERIFY(dlg);
    QWidget* link = dlg->Control(res::IDC_LICENSE_LINK);
    QWidget* text = dlg->Control(res::IDC_AGREE_TEXT);
    QCOMPARE(link->palette().color(QPalette::WindowText), QColor(93, 182, 234));
    QVERIFY(text->palette().color(QPalette::WindowText) != QColor(93, 182, 234));
    // Drawn in that colour: the glyphs' strongest pixels come close to it (thin strokes are
    // anti-aliased, so never all of a pixel is covered); the neighbouring plain text has none.
    const auto nearLinkColour = [&](QWidget* control) {
        const QImage pixels = dlg->grab(control->geometry()).toImage();
        int n = 0;
        for (int y = 0; y < pixels.height(); ++y)
            for (int x = 0; x < pixels.width(); ++x) {
                const QColor c = pixels.pixelColor(x, y);
                n += (std::abs(c.red() - 93) <= 24 && std::abs(c.green() - 182) <= 24 &&
                      std::abs(c.blue() - 234) <= 24)
                         ? 1
                         : 0;
            }
        return n;
    };
    QVERIFY(nearLinkColour(link) > 10);
    QCOMPARE(nearLinkColour(text), 0);
}

QTEST_MAIN(TestAppWindow)
#include "TestAppWindow.moc"
