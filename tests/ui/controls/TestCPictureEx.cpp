// The animated banner against crafted GIFs: still pictures, frame disposal on the surface,
// stopping during a long delay and the glyph commands. Loading again while animating is
// BannerReloadRace.cpp.
#include <QBuffer>
#include <QDialog>
#include <QPushButton>  // ModalWatcher.h uses QPushButton without including it
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <memory>

#include "CPictureEx.h"
#include "GifTestWriter.h"
#include "ModalWatcher.h"
#include "ResourceIds.h"

using namespace giftest;

namespace {

constexpr QRgb kRed = 0xFFFF0000;     // index 0
constexpr QRgb kGreen = 0xFF00FF00;   // index 1
constexpr QRgb kBlue = 0xFF0000FF;    // index 2
constexpr QRgb kYellow = 0xFFFFFF00;  // index 3
const std::vector<std::uint32_t> kPalette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

// Distinct stand-ins for the system colours, so that a test sees which one was used.
constexpr QRgb kMenu = 0xFF204060;
constexpr QRgb kButtonFace = 0xFF608040;

// 8 x 6: left half red, right half green.
Bytes HalfAndHalf()
{
    Bytes indices;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            indices.push_back(x < 4 ? 0 : 1);
    return Image(0, 0, 8, 6, indices);
}

QImage HalfAndHalfPixels()
{
    QImage image(8, 6, QImage::Format_RGB32);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            image.setPixel(x, y, x < 4 ? kRed : kGreen);
    return image;
}

std::unique_ptr<CPictureEx> MakeBanner(QWidget* parent = nullptr)
{
    auto banner = std::make_unique<CPictureEx>(res::IDC_BANNER, parent);
    QPalette palette = banner->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(kMenu));
    palette.setColor(QPalette::Button, QColor::fromRgb(kButtonFace));
    banner->setPalette(palette);
    return banner;
}

bool Load(CPictureEx& banner, const Bytes& data)
{
    return banner.LoadFromMemory(data.data(), data.size());
}

bool AllPixels(const QImage& image, QRgb colour)
{
    if (image.isNull())
        return false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != colour)
                return false;
    return true;
}

QImage Grabbed(CPictureEx& banner)
{
    return banner.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Notes the icon and the owner of every message box as it is shown.
class BoxObserver : public QObject
{
public:
    QVector<QMessageBox::Icon> icons;
    QVector<QWidget*> owners;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* box = qobject_cast<QMessageBox*>(object)) {
                icons.append(box->icon());
                owners.append(box->parentWidget());
            }
        return false;
    }
};

}  // namespace

class TestCPictureEx : public QObject
{
    Q_OBJECT

private slots:
    void frameDelay_data();
    void frameDelay();
    void stillPictures_data();
    void stillPictures();
    void loadFailures_data();
    void loadFailures();
    void onlyOneFrameDecodes();
    void disposal_data();
    void disposal();
    void stopCutsTheDelayShort_data();
    void stopCutsTheDelayShort();
    void bannerResourceAnimates();
    void minimiseGlyph();
    void closeGlyph_data();
    void closeGlyph();
    void otherCommands();
};

void TestCPictureEx::frameDelay_data()
{
    QTest::addColumn<quint32>("delay");
    QTest::addColumn<quint32>("ms");
    for (quint32 d = 0; d < 5; ++d)
        QTest::addRow("%u hundredths wait the 100 ms floor", d) << d << 100u;
    QTest::newRow("5 hundredths") << 5u << 50u;
    QTest::newRow("10 hundredths") << 10u << 100u;
    QTest::newRow("the banner's 300 hundredths") << 300u << 3000u;
    QTest::newRow("no control extension holds the frame") << 0xFFFFFFFFu << 4294967286u;
}

void TestCPictureEx::frameDelay()
{
    QFETCH(quint32, delay);
    QFETCH(quint32, ms);
    QCOMPARE(FrameDelayMs(delay), ms);
}

void TestCPictureEx::stillPictures_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QImage>("pixels");

    const Bytes gif = Cat(
        {Header(8, 6, kPalette), Comment("one slide"), Control(0, 300), HalfAndHalf(), Trailer()});
    QTest::newRow("GIF with one graphic block")
        << QByteArray(reinterpret_cast<const char*>(gif.data()), qsizetype(gif.size()))
        << QSize(8, 6) << HalfAndHalfPixels();

    QImage png(5, 3, QImage::Format_RGB32);
    png.fill(kBlue);
    png.setPixel(4, 2, kYellow);
    QByteArray pngBytes;
    QBuffer buffer(&pngBytes);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(png.save(&buffer, "PNG"));
    QTest::newRow("picture that is not a GIF") << pngBytes << QSize(5, 3) << png;
}

void TestCPictureEx::stillPictures()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    QFETCH(QImage, pixels);

    auto banner = MakeBanner();
    QVERIFY(banner->LoadFromMemory(reinterpret_cast<const unsigned char*>(data.constData()),
                                   std::size_t(data.size())));
    QCOMPARE(banner->m_size, size);
    QCOMPARE(banner->size(), size);
    QVERIFY(AllPixels(banner->SurfaceCopy(), kMenu));  // prepared, not drawn yet

    QVERIFY(banner->StartAnimation());
    QVERIFY(!banner->IsAnimating());
    QCOMPARE(banner->SurfaceCopy(), pixels);
    QCOMPARE(Grabbed(*banner), pixels);
}

void TestCPictureEx::loadFailures_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");  // m_size afterwards

    auto bytes = [](const Bytes& b) {
        return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
    };
    QTest::newRow("nothing a decoder knows") << QByteArray("not a picture at all") << QSize();
    QTest::newRow("GIF header cut short") << QByteArray("GIF89a\x10\x00", 8) << QSize();
    QTest::newRow("GIF without graphic blocks")
        << bytes(Cat({Header(30, 20, kPalette), LoopCount(0), Trailer()})) << QSize(30, 20);
    QTest::newRow("GIF whose only block is malformed")
        << bytes(Cat({Header(30, 20, kPalette), Bytes{0x21, 0x42, 0x00}, HalfAndHalf()}))
        << QSize(30, 20);
    QTest::newRow("GIF whose frames all fail to decode")
        << bytes(Cat({Header(30, 20, kPalette), PlainText(0, 0, 30, 20, "a"),
                      PlainText(0, 0, 30, 20, "b"), Trailer()}))
        << QSize(30, 20);
}

void TestCPictureEx::loadFailures()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);

    auto banner = MakeBanner();
    // A good load first: a failed one must leave the control empty, not half old.
    const Bytes good = Cat({Header(8, 6, kPalette), HalfAndHalf(), Trailer()});
    QVERIFY(Load(*banner, good));
    QVERIFY(banner->StartAnimation());

    banner->m_size = QSize();
    QVERIFY(!banner->LoadFromMemory(reinterpret_cast<const unsigned char*>(data.constData()),
                                    std::size_t(data.size())));
    QCOMPARE(banner->m_size, size);  // set as soon as a GIF screen descriptor was read
    QVERIFY(banner->SurfaceCopy().isNull());
    QCOMPARE(banner->FrameCount(), 0);
    QVERIFY(!banner->StartAnimation());
    QVERIFY(!banner->IsAnimating());
}

void TestCPictureEx::onlyOneFrameDecodes()
{
    // Two graphic blocks; the plain-text one gives the GIF reader no image to decode.
    const Bytes gif = Cat({Header(8, 6, kPalette), Control(1, 10), HalfAndHalf(), Control(1, 10),
                           PlainText(0, 0, 8, 6, "text"), Trailer()});
    auto banner = MakeBanner();
    QVERIFY(Load(*banner, gif));
    QCOMPARE(banner->FrameCount(), 1);
    QVERIFY(!banner->StartAnimation());
    QVERIFY(!banner->IsAnimating());
    QVERIFY(AllPixels(banner->SurfaceCopy(), kMenu));
    QVERIFY(AllPixels(Grabbed(*banner), kMenu));
}

void TestCPictureEx::disposal_data()
{
    QTest::addColumn<unsigned>("disposal");
    QTest::addColumn<int>("transparent");  // colour index of frame 1 that is not drawn
    QTest::addColumn<QImage>("expected");

    // Frame 0 fills the screen half red, half green; frame 1 paints blue over (2,1) 4 x 3 with
    // the disposal under test and stays 50 ms; frame 2 then marks (7,5) yellow and holds 3 s.
    QImage kept = HalfAndHalfPixels();
    for (int y = 1; y < 4; ++y)
        for (int x = 2; x < 6; ++x)
            kept.setPixel(x, y, kBlue);
    kept.setPixel(7, 5, kYellow);
    QTest::newRow("1 keeps the frame") << 1u << -1 << kept;

    QImage cleared = HalfAndHalfPixels();
    for (int y = 1; y < 4; ++y)
        for (int x = 2; x < 6; ++x)
            cleared.setPixel(x, y, kButtonFace);
    cleared.setPixel(7, 5, kYellow);
    QTest::newRow("2 clears only its rectangle to the background") << 2u << -1 << cleared;

    QImage restored = HalfAndHalfPixels();
    restored.setPixel(7, 5, kYellow);
    QTest::newRow("3 restores exactly the pixels under it") << 3u << -1 << restored;
    QTest::newRow("transparent pixels leave the surface as it was") << 1u << 2 << restored;
}

void TestCPictureEx::disposal()
{
    QFETCH(unsigned, disposal);
    QFETCH(int, transparent);
    QFETCH(QImage, expected);

    const Bytes gif = Cat({Header(8, 6, kPalette), Control(1, 0), HalfAndHalf(),
                           Control(disposal, 5, transparent), SolidImage(2, 1, 4, 3, 2),
                           Control(1, 300), SolidImage(7, 5, 1, 1, 3), Trailer()});
    auto banner = MakeBanner();
    QVERIFY(Load(*banner, gif));
    QCOMPARE(banner->FrameCount(), 3);
    QVERIFY(!banner->StartAnimation());
    QVERIFY(banner->IsAnimating());
    QTRY_COMPARE_WITH_TIMEOUT(banner->SurfaceCopy(), expected, 5000);
    banner->StopAnimation();
    QVERIFY(!banner->IsAnimating());
    QCOMPARE(Grabbed(*banner), expected);  // the paint copies the surface as it is
}

void TestCPictureEx::stopCutsTheDelayShort_data()
{
    QTest::addColumn<bool>("control");
    QTest::newRow("3 s delay") << true;
    QTest::newRow("frame without control extension") << false;
}

void TestCPictureEx::stopCutsTheDelayShort()
{
    QFETCH(bool, control);
    const Bytes head = Header(8, 6, kPalette);
    const Bytes gif =
        control ? Cat({head, Control(1, 300), SolidImage(0, 0, 8, 6, 2), Control(1, 300),
                       SolidImage(0, 0, 8, 6, 3), Trailer()})
                : Cat({head, SolidImage(0, 0, 8, 6, 2), SolidImage(0, 0, 8, 6, 3), Trailer()});
    auto banner = MakeBanner();
    QVERIFY(Load(*banner, gif));
    QVERIFY(!banner->StartAnimation());
    // The first slide is drawn: the thread is now in its delay.
    QTRY_VERIFY(AllPixels(banner->SurfaceCopy(), kBlue));

    const auto before = std::chrono::steady_clock::now();
    banner->StopAnimation();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - before);
    QVERIFY(!banner->IsAnimating());
    qInfo("stop took %lld ms", static_cast<long long>(took.count()));
    // Far below the 3 s the frame would still stay; sanitizer builds run slower than 100 ms.
    QVERIFY2(took < std::chrono::milliseconds(1000), "the stop waited out the frame's delay");
    QVERIFY(AllPixels(banner->SurfaceCopy(), kBlue));  // the slide stays where it stopped
}

void TestCPictureEx::bannerResourceAnimates()
{
    auto banner = MakeBanner();
    QVERIFY(banner->LoadFromResource("GIF", res::IDG_BANNER));
    QCOMPARE(banner->m_size, QSize(479, 236));
    QCOMPARE(banner->FrameCount(), 4);
    QVERIFY(!banner->StartAnimation());
    QVERIFY(banner->IsAnimating());
    QTRY_VERIFY(!AllPixels(banner->SurfaceCopy(), kMenu));
    banner->StopAnimation();
    QVERIFY(!banner->IsAnimating());

    QVERIFY(!banner->LoadFromResource("GIF", 9999));
}

void TestCPictureEx::minimiseGlyph()
{
    QDialog dialog;
    auto banner = MakeBanner(&dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(banner->OnCommand(MAKEWPARAM(res::IDC_MINIMIZE, 0), 0));
    QTRY_VERIFY(dialog.isMinimized());
    QVERIFY(dialog.isVisible());
    banner.release();  // owned by the dialog
}

void TestCPictureEx::closeGlyph_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("openAfterAnswer");
    QTest::newRow("Yes ends the window with IDCLOSE") << int(QMessageBox::Yes) << IDCLOSE << false;
    QTest::newRow("No keeps it open") << int(QMessageBox::No) << IDOK << true;
}

void TestCPictureEx::closeGlyph()
{
    QFETCH(int, answer);
    QFETCH(int, result);
    QFETCH(bool, openAfterAnswer);

    QDialog dialog;
    CPictureEx* banner = MakeBanner(&dialog).release();
    ModalWatcher watcher({QMessageBox::StandardButton(answer)});
    BoxObserver observer;
    qApp->installEventFilter(&observer);
    bool handled = false;
    bool open = false;
    QTimer::singleShot(0, &dialog, [&] {
        handled = banner->OnCommand(MAKEWPARAM(res::IDC_CLOSE, 0), 0);
        open = dialog.isVisible();
        if (open)
            dialog.done(IDOK);  // the test's own way out after a No
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(handled);
    QCOMPARE(open, openAfterAnswer);
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, QStringLiteral("确定要退出吗?"));
    QCOMPARE(watcher.seen[0].title, QStringLiteral("Vantora2.0安装"));
    QCOMPARE(watcher.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(observer.icons, QVector<QMessageBox::Icon>{QMessageBox::NoIcon});
    QCOMPARE(observer.owners, QVector<QWidget*>{banner});
}

void TestCPictureEx::otherCommands()
{
    QDialog dialog;
    CPictureEx* banner = MakeBanner(&dialog).release();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ModalWatcher watcher;
    // Not a click (a notification code): not ours.
    QVERIFY(!banner->OnCommand(MAKEWPARAM(res::IDC_CLOSE, 1), 0));
    QVERIFY(!banner->OnCommand(MAKEWPARAM(res::IDC_MINIMIZE, 2), 0));
    // The logo and any other control: handled, nothing happens.
    QVERIFY(banner->OnCommand(MAKEWPARAM(res::IDC_LOGO, 0), 0));
    QVERIFY(banner->OnCommand(MAKEWPARAM(4242, 0), 0));
    QCoreApplication::processEvents();
    QVERIFY(watcher.seen.isEmpty());
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isMinimized());
}

QTEST_MAIN(TestCPictureEx)
#include "TestCPictureEx.moc"
