// Measures the time from process start to the first paint of a window, for the installer
// window (with its banner, skin and version query against the local stand-in service) and for
// a bare QDialog of the same size. The parent process spawns one child per run, alternating
// the two kinds; the child reports when its window's first paint has been flushed.
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "COnlineInstallerDlg.h"
#include "ResourceIds.h"
#include "ServiceClient.h"

extern char** environ;

namespace {

long long NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// Ends the run once the watched window's first paint has gone out.
class FirstPaint : public QObject
{
public:
    FirstPaint(QDialog* dialog, long long startNs) : m_dialog(dialog), m_startNs(startNs) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_dialog && event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            // After this paint event the backing store is flushed; report right after.
            QTimer::singleShot(0, m_dialog, [this] {
                std::printf("%.3f\n", (NowNs() - m_startNs) / 1e6);
                std::fflush(stdout);
                m_dialog->done(IDCLOSE);
            });
        }
        return false;
    }

private:
    QDialog* m_dialog;
    long long m_startNs;
    bool m_seen = false;
};

int Child(int argc, char** argv)
{
    const std::string kind = argv[2];
    const long long startNs = std::stoll(argv[3]);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (kind == "installer") {
        ServiceClient client(BENCH_APP_KEY, BENCH_APP_SECRET, argv[4]);
        COnlineInstallerDlg dlg;
        dlg.m_pServiceClient = &client;
        FirstPaint probe(&dlg, startNs);
        dlg.installEventFilter(&probe);
        dlg.DoModal();
    } else {
        QDialog dlg;
        dlg.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        dlg.setGeometry(0, 0, 479, 359);
        FirstPaint probe(&dlg, startNs);
        dlg.installEventFilter(&probe);
        dlg.exec();
    }
    (void)argc;
    return 0;
}

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

bool PortAnswers(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

pid_t Spawn(std::vector<std::string> args, int stdoutFd = -1)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// One child run; its first-paint time in milliseconds, or a negative value on failure.
double RunOnce(const std::string& self, const std::string& kind, const std::string& url)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const long long start = NowNs();
    const pid_t pid = Spawn({self, "--child", kind, std::to_string(start), url}, pipeFds[1]);
    close(pipeFds[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    if (pid <= 0 || !WIFEXITED(status) || out.empty())
        return -1;
    return std::stod(out);
}

void Report(const char* name, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-28s runs %zu  median %8.1f ms  min %8.1f ms  max %8.1f ms\n", name, ms.size(),
                ms[ms.size() / 2], ms.front(), ms.back());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return Child(argc, argv);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_startup: needs an X server (run it under xvfb-run -a)\n");
        return 2;
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 2;

    const int port = FreePort();
    const pid_t service = Spawn({BENCH_DEVSERVICE, "--port", std::to_string(port)});
    if (service <= 0)
        return 2;
    for (int i = 0; i < 200 && !PortAnswers(port); ++i)
        usleep(20000);
    const std::string url = "http://127.0.0.1:" + std::to_string(port);

    std::vector<double> installer, bare;
    for (int i = 0; i < runs; ++i) {
        const double a = RunOnce(self, "installer", url);
        const double b = RunOnce(self, "bare", url);
        if (a >= 0)
            installer.push_back(a);
        if (b >= 0)
            bare.push_back(b);
    }
    kill(service, SIGTERM);
    waitpid(service, nullptr, 0);
    if (installer.empty() || bare.empty()) {
        std::fprintf(stderr, "bench_startup: runs failed\n");
        return 1;
    }
    std::printf("start-up to first paint (process spawn -> first paint flushed), %d runs each\n",
                runs);
    Report("installer window", installer);
    Report("bare QDialog 479x359", bare);
    return 0;
}
