// How much CPU the banner costs while it only shows its slides: the banner GIF plays in a shown
// window for a few seconds; the process and GUI-thread CPU times over that span are reported
// (the animation thread's share is the difference, the other threads being idle).
//   bench_banner_idle [seconds]      (offscreen unless QT_QPA_PLATFORM says otherwise)
#include <sys/resource.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "CPictureEx.h"
#include "ResourceIds.h"

namespace {

double ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;

    CPictureEx banner(res::IDC_BANNER);
    PaintCounter counter;
    banner.installEventFilter(&counter);
    QElapsedTimer loadTime;
    loadTime.start();
    if (!banner.LoadFromResource("GIF", res::IDG_BANNER)) {
        std::fprintf(stderr, "the banner resource did not load\n");
        return 1;
    }
    const qint64 loadMs = loadTime.elapsed();
    banner.show();
    banner.StartAnimation();

    // Measure from half a second in, once the first slide is up and the window painted.
    double cpu0 = 0, gui0 = 0;
    int paints0 = 0;
    QElapsedTimer wall;
    QTimer::singleShot(500, [&] {
        cpu0 = ProcessCpuMs();
        gui0 = ThreadCpuMs();
        paints0 = counter.paints;
        wall.start();
    });
    QTimer::singleShot(500 + int(seconds * 1000), [&] {
        const double span = wall.elapsed();
        const double cpu = ProcessCpuMs() - cpu0;
        const double gui = ThreadCpuMs() - gui0;
        std::printf("banner %dx%d, %d frames, load + decode %lld ms\n", banner.m_size.width(),
                    banner.m_size.height(), banner.FrameCount(), static_cast<long long>(loadMs));
        std::printf(
            "over %.1f s of slides: process CPU %.1f ms (%.3f %%), GUI thread %.1f ms, "
            "animation and other threads %.1f ms, %d paints\n",
            span / 1e3, cpu, 100.0 * cpu / span, gui, cpu - gui, counter.paints - paints0);
        app.quit();
    });
    const int rc = app.exec();
    banner.StopAnimation();
    return rc;
}
