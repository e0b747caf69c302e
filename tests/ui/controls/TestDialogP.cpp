// The licence window: its layout by the pictures' sizes, the white read-only text, and the two
// controls that close it.
#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

#include "CDialogP.h"
#include "CPngStatic.h"
#include "ResourceIds.h"

namespace {

QString ExpectedText()
{
    return QString::fromStdU16String(LicenceText()).replace(QStringLiteral("\r\n"), "\n");
}

// Runs `action` on the licence window once it is the active modal window.
void WhenModal(std::function<void(CDialogP*)> action)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, action] {
        auto* dialog = qobject_cast<CDialogP*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        QPointer<CDialogP> guard(dialog);
        action(dialog);
        // The actions act at once; one that failed must not leave the modal loop running, so
        // end it with a result no test expects.
        if (guard && guard->isVisible())
            guard->done(-2);
    });
    poll->start();
}

}  // namespace

class TestDialogP : public QObject
{
    Q_OBJECT
private slots:
    void layoutByPictureSizes();
    void textIsReadOnlyWhiteAndScrolls();
    void closeControls_data();
    void closeControls();
    void everyOpeningLooksTheSame();
};

void TestDialogP::layoutByPictureSizes()
{
    CDialogP dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.size(), QSize(438, 328));
    const struct
    {
        int id;
        QRect geometry;
    } expected[] = {
        {res::IDC_LICENSE_CLOSE_GLYPH, QRect(413, 12, 20, 20)},
        {res::IDC_LICENSE_STRIP, QRect(0, 293, 438, 35)},
        {res::IDC_LICENSE_CLOSE_BUTTON, QRect(358, 298, 75, 25)},
        {res::IDC_LICENSE_TEXT, QRect(0, 36, 438, 257)},
    };
    for (const auto& row : expected) {
        auto* child = dialog.findChild<QWidget*>(QString::number(row.id));
        QVERIFY2(child, qPrintable(QString::number(row.id)));
        QCOMPARE(child->geometry(), row.geometry);
    }
    // Each static shows its own picture, unscaled: the 10 x 10 glyph at (413, 12).
    const struct
    {
        CPngStatic* png;
        QSize size;
    } pictures[] = {{dialog.m_pngTitle, QSize(438, 36)},
                    {dialog.m_pngCloseGlyph, QSize(10, 10)},
                    {dialog.m_pngFooter, QSize(438, 35)},
                    {dialog.m_pngCloseButton, QSize(75, 25)}};
    for (const auto& row : pictures) {
        QVERIFY(row.png->m_pImage);
        QCOMPARE(row.png->m_pImage->size(), row.size);
    }
    const QImage shot = dialog.grab().toImage();
    const QImage* strip = dialog.m_pngFooter->m_pImage;
    QCOMPARE(shot.pixelColor(2, 293 + 17), strip->pixelColor(2, 17));  // an opaque picture
    // The whole title bar shows, down to the text field.
    const QImage* title = dialog.m_pngTitle->m_pImage;
    QCOMPARE(shot.pixelColor(200, 35), title->pixelColor(200, 35));
}

void TestDialogP::textIsReadOnlyWhiteAndScrolls()
{
    // A desktop whose fields are grey: the licence text still sits on white.
    const QPalette desktop = QApplication::palette();
    QPalette greyFields = desktop;
    greyFields.setColor(QPalette::Base, QColor(212, 208, 200));
    QApplication::setPalette(greyFields);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });

    CDialogP dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QPlainTextEdit* text = dialog.m_editLicence;
    QCOMPARE(text->objectName(), QStringLiteral("1045"));
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->toPlainText(), ExpectedText());
    QVERIFY(text->verticalScrollBar()->isVisible());
    QVERIFY(text->verticalScrollBar()->maximum() > 0);  // more text than fits: it scrolls

    QTest::keyClicks(text, "typed");
    QCOMPARE(text->toPlainText(), ExpectedText());

    // White under the text, and the text itself in the default colour.
    const QImage shot = text->viewport()->grab().toImage();
    int white = 0, textColoured = 0;
    const QColor textColour = QApplication::palette().color(QPalette::Text);
    for (int y = 0; y < shot.height(); ++y) {
        QCOMPARE(shot.pixelColor(0, y), QColor(Qt::white));  // the document margin
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            white += c == QColor(Qt::white);
            textColoured += c == textColour;
        }
    }
    QVERIFY(white > shot.width() * shot.height() / 2);
    QVERIFY(textColoured > 0);
}

void TestDialogP::closeControls_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("result");
    QTest::newRow("close glyph on the title bar") << res::IDC_LICENSE_CLOSE_GLYPH << IDCLOSE;
    QTest::newRow("close button on the strip") << res::IDC_LICENSE_CLOSE_BUTTON << IDCLOSE;
    QTest::newRow("title bar does not close") << res::IDC_LICENSE_TITLE << -1;
    QTest::newRow("escape key") << 0 << IDCANCEL;
}

void TestDialogP::closeControls()
{
    QFETCH(int, id);
    QFETCH(int, result);
    CDialogP dialog;
    bool clicked = false;
    WhenModal([&](CDialogP* shown) {
        QVERIFY(shown == &dialog);
        if (id == 0) {
            QTest::keyClick(shown, Qt::Key_Escape);
        } else {
            auto* png = shown->findChild<CPngStatic*>(QString::number(id));
            QVERIFY(png);
            QTest::mouseClick(shown->windowHandle(), Qt::LeftButton, {},
                              png->geometry().topLeft() + QPoint(4, 4));
        }
        clicked = true;
        if (result < 0) {
            QVERIFY(shown->isVisible());
            shown->done(-1);
        }
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(clicked);
}

void TestDialogP::everyOpeningLooksTheSame()
{
    CDialogP dialog;
    for (int opening = 0; opening < 3; ++opening) {
        WhenModal([&](CDialogP* shown) {
            QCOMPARE(shown->size(), QSize(438, 328));
            QCOMPARE(shown->m_editLicence->geometry(), QRect(0, 36, 438, 257));
            QCOMPARE(shown->m_editLicence->toPlainText(), ExpectedText());
            QCOMPARE(shown->m_editLicence->verticalScrollBar()->value(), 0);
            QVERIFY(shown->m_pngTitle->m_pImage &&
                    shown->m_pngTitle->m_pImage->size() == QSize(438, 36));
            // Scroll away: the next opening starts at the top again.
            shown->m_editLicence->verticalScrollBar()->setValue(50);
            QTest::mouseClick(shown->windowHandle(), Qt::LeftButton, {}, QPoint(365, 305));
        });
        QCOMPARE(dialog.exec(), IDCLOSE);
    }
}

QTEST_MAIN(TestDialogP)
#include "TestDialogP.moc"
