// The image static: its picture over the parent's own pixels, cut at its edges, and where its
// clicks go.
#include <QPainter>
#include <QPointer>
#include <QtTest>

#include "CPngStatic.h"
#include "CWindowMessage.h"

namespace {

// A parent that paints a checker pattern, so "the parent's pixels" differ from any flat fill
// the static might put down.
class CheckerWindow : public QWidget, public CCommandTarget
{
public:
    CheckerWindow() { resize(60, 40); }

    static QColor CheckerAt(int x, int y)
    {
        return ((x / 3 + y / 3) % 2) ? QColor(20, 160, 40) : QColor(230, 220, 10);
    }

    bool OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        commands.append({wParam, lParam});
        return true;
    }

    QVector<QPair<WPARAM, LPARAM>> commands;
    QVector<QPoint> presses;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                painter.fillRect(x, y, 1, 1, CheckerAt(x, y));
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        presses.append(event->position().toPoint());
    }
};

// 10 x 10, premultiplied: an opaque red left half, a half-transparent blue right half and a
// fully transparent last column.
QImage MakePicture()
{
    QImage image(10, 10, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            QRgb p = x < 5 ? qRgba(200, 0, 0, 255) : qRgba(0, 0, 128, 128);
            if (x == 9)
                p = qRgba(0, 0, 0, 0);
            image.setPixel(x, y, p);
        }
    return image;
}

// Source-over of a premultiplied pixel onto an opaque one.
QColor Over(QRgb src, const QColor& dst)
{
    const int a = qAlpha(src);
    auto mix = [a](int s, int d) { return s + d * (255 - a) / 255; };
    return QColor(mix(qRed(src), dst.red()), mix(qGreen(src), dst.green()),
                  mix(qBlue(src), dst.blue()));
}

bool Near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) <= 2 && qAbs(a.green() - b.green()) <= 2 &&
           qAbs(a.blue() - b.blue()) <= 2;
}

}  // namespace

class TestPngStatic : public QObject
{
    Q_OBJECT
private slots:
    void drawsOverParentCutAtItsEdges_data();
    void drawsOverParentCutAtItsEdges();
    void clickGoesToTargetOrBeneath_data();
    void clickGoesToTargetOrBeneath();
    void pressReleasedOutsideIsNoClick();
};

void TestPngStatic::drawsOverParentCutAtItsEdges_data()
{
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("withImage");
    QTest::newRow("static larger than its picture") << QRect(5, 7, 30, 20) << true;
    QTest::newRow("static smaller than its picture") << QRect(40, 3, 6, 4) << true;
    QTest::newRow("no picture: parent shows through") << QRect(5, 7, 30, 20) << false;
}

void TestPngStatic::drawsOverParentCutAtItsEdges()
{
    QFETCH(QRect, geometry);
    QFETCH(bool, withImage);
    const QImage picture = MakePicture();
    CheckerWindow window;
    auto* png = new CPngStatic(1034, false, &window);
    png->setGeometry(geometry);
    if (withImage)
        png->m_pImage = &picture;
    QCOMPARE(png->objectName(), QStringLiteral("1034"));

    const QImage shot = window.grab().toImage();
    const QRect drawn = withImage ? QRect(geometry.topLeft(), picture.size()) & geometry : QRect();
    int mismatches = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QColor parent = CheckerWindow::CheckerAt(x, y);
            const QColor expected =
                drawn.contains(x, y)
                    ? Over(picture.pixel(x - geometry.x(), y - geometry.y()), parent)
                    : parent;
            if (!Near(shot.pixelColor(x, y), expected) && mismatches++ < 5)
                qWarning() << "pixel" << x << y << shot.pixelColor(x, y) << "expected" << expected;
        }
    QCOMPARE(mismatches, 0);
}

void TestPngStatic::clickGoesToTargetOrBeneath_data()
{
    QTest::addColumn<bool>("notify");
    QTest::newRow("notify static reports to its command target") << true;
    QTest::newRow("plain static lets the press through") << false;
}

void TestPngStatic::clickGoesToTargetOrBeneath()
{
    QFETCH(bool, notify);
    const QImage picture = MakePicture();
    CheckerWindow window;
    // A plain widget between the static and the target: the target is found among ancestors.
    auto* holder = new QWidget(&window);
    holder->setGeometry(10, 10, 40, 25);
    auto* png = new CPngStatic(1038, notify, holder);
    png->setGeometry(2, 3, 20, 12);
    png->m_pImage = &picture;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QPoint at = png->mapTo(&window, QPoint(6, 5));
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, at);

    if (notify) {
        QCOMPARE(window.commands.size(), 1);
        QCOMPARE(window.commands[0].first, MAKEWPARAM(1038, 0));
        QCOMPARE(window.commands[0].second, LPARAM(0));
        QVERIFY(window.presses.isEmpty());
    } else {
        QVERIFY(window.commands.isEmpty());
        QCOMPARE(window.presses, QVector<QPoint>{at});
    }
}

void TestPngStatic::pressReleasedOutsideIsNoClick()
{
    CheckerWindow window;
    auto* png = new CPngStatic(1042, true, &window);
    png->setGeometry(5, 5, 17, 17);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, QPoint(40, 30));
    QVERIFY(window.commands.isEmpty());

    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
    QCOMPARE(window.commands.size(), 1);
    QCOMPARE(window.commands[0].first, MAKEWPARAM(1042, 0));
}

QTEST_MAIN(TestPngStatic)
#include "TestPngStatic.moc"
