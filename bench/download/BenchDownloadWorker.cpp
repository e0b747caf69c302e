// One download by the worker, as the installer runs it: a window with the skinned bar on the
// GUI thread, a 100 ms timer copying the bar into a label, the transfer on the worker thread.
// Prints the bytes, the seconds, the resident memory before the transfer (idle) and its peak.
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "CHttpFileObject.h"
#include "CMyProgressCtrl.h"
#include "CWindowMessage.h"

namespace {

long StatusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    }
    return -1;
}

class Window : public QWidget
{
public:
    unsigned outcome = 0;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == CWindowMessage::eventType()) {
            outcome = static_cast<CWindowMessage*>(event)->m_nMessage;
            QApplication::quit();
            return true;
        }
        return QWidget::event(event);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <url> <file>\n", argv[0]);
        return 2;
    }
    Window window;
    window.resize(479, 383);
    auto* bar = new CMyProgressCtrl(1010, &window);
    bar->setGeometry(40, 240, 400, 10);
    bar->SetRange(0, 100);
    auto* label = new QLabel("0%", &window);
    label->setGeometry(230, 220, 40, 16);
    window.show();
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        int lower = 0, upper = 0;
        bar->GetRange(lower, upper);
        label->setText(QString::number(bar->GetPos() * 100 / upper) + "%");
        label->hide();
        label->show();
    });
    timer.start(100);
    // A failure box would wait for a click; end the run instead.
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->done(QMessageBox::Ok);
    });
    boxCloser.start(50);
    app.processEvents();
    const long idleKiB = StatusKiB("VmRSS");

    QElapsedTimer clock;
    clock.start();
    CHttpFileObject* worker = CHttpFileObject::BeginThread();
    worker->m_hProgressWnd = bar;
    if (!worker->Init(argv[1]))
        return 1;
    worker->StartDownload(argv[2]);
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    struct stat info;
    const long long bytes = stat(argv[2], &info) == 0 ? info.st_size : -1;
    std::printf("outcome=%s bytes=%lld seconds=%.3f idle_rss_kib=%ld peak_rss_kib=%ld\n",
                window.outcome == WM_DOWNLOAD_FINISHED ? "finished" : "error", bytes, seconds,
                idleKiB, StatusKiB("VmHWM"));
    return window.outcome == WM_DOWNLOAD_FINISHED ? 0 : 1;
}
