// The skinned progress bar: what it shows for a range and position, and the position call a
// download worker makes from its own thread.
#include <QPainter>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "CMyProgressCtrl.h"
#include "ResourceIds.h"
#include "ResourceImages.h"

namespace {

const QColor kBackground(90, 60, 200);

// The installer's set-up: a 410 x 10 bar at (0, 0) of a parent with a flat background.
struct BarFixture
{
    BarFixture()
    {
        parent.resize(430, 20);
        parent.setAutoFillBackground(true);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, kBackground);
        parent.setPalette(palette);
        bar = new CMyProgressCtrl(res::IDC_PROGRESS, &parent);
        bar->setGeometry(0, 0, 410, 10);
        bar->SetRange(0, 100);
        bar->SetPos(0);
        bar->SetImages(res::IDP_PROGRESS_BAR, res::IDP_PROGRESS_TRACK, "PNG");
    }
    QImage Shot() { return parent.grab(QRect(0, 0, 410, 10)).toImage(); }

    QWidget parent;
    CMyProgressCtrl* bar;
};

// What the user should see: the background, the track 1:1 over the whole width at its own
// height, the bar 1:1 over its first `filled` columns.
QImage ExpectedPicture(int filled)
{
    const QImage* track = LoadResourceImageGdiplus("PNG", res::IDP_PROGRESS_TRACK);
    const QImage* barImage = LoadResourceImageGdiplus("PNG", res::IDP_PROGRESS_BAR);
    QImage expected(410, 10, QImage::Format_ARGB32_Premultiplied);
    expected.fill(kBackground);
    QPainter painter(&expected);
    painter.drawImage(QPoint(0, 0), *track, QRect(0, 0, 410, track->height()));
    if (filled > 0)
        painter.drawImage(QPoint(0, 0), *barImage, QRect(0, 0, filled, barImage->height()));
    return expected;
}

int CountMismatches(const QImage& actual, const QImage& expected)
{
    int mismatches = 0;
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QColor a = actual.pixelColor(x, y), e = expected.pixelColor(x, y);
            if (qAbs(a.red() - e.red()) > 2 || qAbs(a.green() - e.green()) > 2 ||
                qAbs(a.blue() - e.blue()) > 2) {
                if (mismatches++ < 5)
                    qWarning() << "pixel" << x << y << a << "expected" << e;
            }
        }
    return mismatches;
}

// Columns from the left edge up to the last one that differs from the bare track.
int MeasuredBarWidth(const QImage& shot, const QImage& bareTrack)
{
    int width = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) != bareTrack.pixel(x, y))
                width = std::max(width, x + 1);
    return width;
}

}  // namespace

class TestMyProgressCtrl : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void barWidthFollowsPosition_data();
    void barWidthFollowsPosition();
    void trackLiesUnderBarAtItsOwnHeight();
    void emptyRangeDrawsNoBar_data();
    void emptyRangeDrawsNoBar();
    void positionStaysInsideRange();

    void workerCallAppliesOnGuiThread();
    void workerStreamOfPositions();
    void waitingWorkerReleasedWhenBarGoes_data();
    void waitingWorkerReleasedWhenBarGoes();
    void lateWorkerAfterBarIsGone();
};

void TestMyProgressCtrl::initTestCase()
{
    const QImage* track = LoadResourceImageGdiplus("PNG", res::IDP_PROGRESS_TRACK);
    const QImage* barImage = LoadResourceImageGdiplus("PNG", res::IDP_PROGRESS_BAR);
    QVERIFY(track && barImage);
    QCOMPARE(track->height(), 8);
    QVERIFY(barImage->width() >= 410);
}

void TestMyProgressCtrl::barWidthFollowsPosition_data()
{
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("width");
    QTest::newRow("at the lower bound") << 0 << 0;
    QTest::newRow("1 percent") << 1 << 4;
    QTest::newRow("half way") << 50 << 205;
    QTest::newRow("99 percent truncates") << 99 << 405;
    QTest::newRow("at the upper bound") << 100 << 410;
}

void TestMyProgressCtrl::barWidthFollowsPosition()
{
    QFETCH(int, pos);
    QFETCH(int, width);
    BarFixture f;
    const QImage bareTrack = f.Shot();
    QCOMPARE(CountMismatches(bareTrack, ExpectedPicture(0)), 0);

    f.bar->SetPos(pos);
    QCOMPARE(MeasuredBarWidth(f.Shot(), bareTrack), width);
}

void TestMyProgressCtrl::trackLiesUnderBarAtItsOwnHeight()
{
    BarFixture f;
    f.bar->SetPos(50);
    const QImage shot = f.Shot();
    QCOMPARE(CountMismatches(shot, ExpectedPicture(205)), 0);
    // The bottom two rows belong to the parent: the pictures are 8 pixels high.
    for (int x = 0; x < 410; ++x) {
        QCOMPARE(shot.pixelColor(x, 8), kBackground);
        QCOMPARE(shot.pixelColor(x, 9), kBackground);
    }
}

void TestMyProgressCtrl::emptyRangeDrawsNoBar_data()
{
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("pos");
    QTest::newRow("upper equals lower") << 50 << 50 << 50;
    QTest::newRow("upper below lower") << 100 << 0 << 60;
    QTest::newRow("zero range at zero") << 0 << 0 << 0;
}

void TestMyProgressCtrl::emptyRangeDrawsNoBar()
{
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, pos);
    BarFixture f;
    f.bar->SetRange(lower, upper);
    f.bar->SetPos(pos);
    QCOMPARE(f.bar->FilledWidth(410), 0);
    QCOMPARE(CountMismatches(f.Shot(), ExpectedPicture(0)), 0);
}

void TestMyProgressCtrl::positionStaysInsideRange()
{
    CMyProgressCtrl bar(res::IDC_PROGRESS);
    int lower = -1, upper = -1;
    bar.GetRange(lower, upper);
    QCOMPARE(lower, 0);
    QCOMPARE(upper, 100);
    QCOMPARE(bar.SetPos(40), 0);
    QCOMPARE(bar.SetPos(140), 40);
    QCOMPARE(bar.GetPos(), 100);
    QCOMPARE(bar.SetPos(-5), 100);
    QCOMPARE(bar.GetPos(), 0);
    bar.SetPos(80);
    bar.SetRange(0, 50);
    QCOMPARE(bar.GetPos(), 50);
    bar.SetRange(60, 70);
    QCOMPARE(bar.GetPos(), 60);
}

void TestMyProgressCtrl::workerCallAppliesOnGuiThread()
{
    CMyProgressCtrl bar(res::IDC_PROGRESS);
    // On the GUI thread itself the call is direct.
    QVERIFY(bar.SetPosFromWorker(7));
    QCOMPARE(bar.GetPos(), 7);

    std::atomic<int> result{-1};
    std::atomic<bool> changedBeforeReturn{false};
    std::thread worker([&] {
        const bool ok = bar.SetPosFromWorker(42);
        // Blocking: by the time the call returns the GUI thread has applied it.
        changedBeforeReturn = bar.GetPos() == 42;
        result = ok ? 1 : 0;
    });
    QTRY_COMPARE_WITH_TIMEOUT(result.load(), 1, 10000);
    worker.join();
    QVERIFY(changedBeforeReturn.load());
    QCOMPARE(bar.GetPos(), 42);
}

void TestMyProgressCtrl::workerStreamOfPositions()
{
    BarFixture f;
    f.parent.show();
    std::atomic<int> failures{0};
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        for (int pos = 0; pos <= 100; ++pos)
            if (!f.bar->SetPosFromWorker(pos))
                ++failures;
        finished = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(finished.load(), 20000);
    worker.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(f.bar->GetPos(), 100);
}

void TestMyProgressCtrl::waitingWorkerReleasedWhenBarGoes_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("bar deleted") << "delete bar";
    QTest::newRow("parent window deleted") << "delete parent";
    QTest::newRow("calls cancelled, bar stays") << "cancel";
}

void TestMyProgressCtrl::waitingWorkerReleasedWhenBarGoes()
{
    QFETCH(QString, how);
    auto* parent = new QWidget;
    QPointer<CMyProgressCtrl> bar = new CMyProgressCtrl(res::IDC_PROGRESS, parent);
    std::promise<bool> returned;
    std::future<bool> result = returned.get_future();
    std::thread worker(
        [&, target = bar.data()] { returned.set_value(target->SetPosFromWorker(30)); });

    // The GUI thread runs no events here, so the call can only wait; make sure it does.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (bar->WaitingWorkers() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    QCOMPARE(bar->WaitingWorkers(), 1);

    if (how == "delete bar")
        delete bar.data();
    else if (how == "delete parent")
        delete parent;
    else
        bar->CancelPendingCalls();

    const bool released = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!released)
        qFatal("worker still blocked after the bar went away");
    worker.join();
    QCOMPARE(result.get(), false);

    if (how == "cancel") {
        // The call already posted finds the gate closed and changes nothing; later calls are
        // refused at once.
        QCoreApplication::processEvents();
        QCOMPARE(bar->GetPos(), 0);
        bool later = true;
        std::thread another([&] { later = bar->SetPosFromWorker(55); });
        another.join();
        QVERIFY(!later);
        QCoreApplication::processEvents();
        QCOMPARE(bar->GetPos(), 0);
        delete parent;
    } else if (how == "delete bar") {
        delete parent;
    }
    QVERIFY(bar.isNull());
    // The queued call of the destroyed bar must not run against freed memory.
    QCoreApplication::processEvents();
}

void TestMyProgressCtrl::lateWorkerAfterBarIsGone()
{
    CMyProgressCtrl::WorkerLink link;
    QVERIFY(!link.SetPos(10));  // an empty link
    {
        CMyProgressCtrl bar(res::IDC_PROGRESS);
        link = bar.GetWorkerLink();
        bool applied = false;
        std::atomic<bool> finished{false};
        std::thread worker([&] {
            applied = link.SetPos(25);
            finished = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(finished.load(), 10000);
        worker.join();
        QVERIFY(applied);
        QCOMPARE(bar.GetPos(), 25);
    }
    bool late = true;
    std::thread worker([&] { late = link.SetPos(50); });
    worker.join();
    QVERIFY(!late);
}

QTEST_MAIN(TestMyProgressCtrl)
#include "TestMyProgressCtrl.moc"
