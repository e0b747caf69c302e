// The folder field: the glyph on its embedded button, and the folder picker it opens.
#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "MyEditBrowseCtrl.h"
#include "ResourceIds.h"

namespace {

const QColor kLeft(255, 0, 255), kRight(0, 255, 255);

// 16 x 16, two opaque halves, so placement and orientation both show.
QImage MakeGlyph()
{
    QImage glyph(16, 16, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            glyph.setPixelColor(x, y, x < 8 ? kLeft : kRight);
    return glyph;
}

bool IsGlyphColour(const QColor& c)
{
    return c == kLeft || c == kRight;
}

// Answers the next folder picker: checks where it starts, then accepts `choose` (a folder) or
// cancels when it is empty.
class PickerAnswer : public QObject
{
public:
    explicit PickerAnswer(QString choose) : m_choose(std::move(choose))
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &PickerAnswer::Poll);
        m_timer.start();
    }
    bool seen = false;
    QString startedAt;

private:
    void Poll()
    {
        auto* picker = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!picker || !picker->isVisible())
            return;
        m_timer.stop();
        seen = true;
        startedAt = picker->directory().absolutePath();
        if (m_choose.isEmpty()) {
            picker->reject();
        } else {
            // With nothing selected, a folder picker answers the folder it shows.
            picker->setDirectory(m_choose);
            static_cast<QDialog*>(picker)->accept();  // dispatches to the picker's own
        }
    }
    QString m_choose;
    QTimer m_timer;
};

}  // namespace

class TestMyEditBrowseCtrl : public QObject
{
    Q_OBJECT
private slots:
    void glyphInItsPlace_data();
    void glyphInItsPlace();
    void hoverAndPressChangeNothing();
    void pickerStartsAtFieldFolder_data();
    void pickerStartsAtFieldFolder();
};

void TestMyEditBrowseCtrl::glyphInItsPlace_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty field") << QString();
    QTest::newRow("text longer than the field") << QString(80, QChar('W'));
}

void TestMyEditBrowseCtrl::glyphInItsPlace()
{
    QFETCH(QString, text);
    const QImage glyph = MakeGlyph();
    MyEditBrowseCtrl field(res::IDC_FOLDER);
    QCOMPARE(field.objectName(), QStringLiteral("1041"));
    field.resize(200, 30);
    field.m_pButtonImage = &glyph;
    field.setText(text);
    field.setCursorPosition(text.size());  // the end of a long text, next to the button

    const QImage shot = field.grab().toImage();
    const QRect button = field.browseButton()->geometry();
    QVERIFY(field.rect().contains(button));
    QVERIFY(button.right() >= field.width() - 4);  // at the right edge, inside the frame
    QVERIFY(button.width() > 6);
    const QRect target = button.adjusted(3, 3, -3, -3);
    for (int y = button.top(); y <= button.bottom(); ++y)
        for (int x = button.left(); x <= button.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (!target.contains(x, y)) {
                // The margin shows the field, never the glyph and never the text.
                QVERIFY2(!IsGlyphColour(c), qPrintable(QString("margin %1,%2").arg(x).arg(y)));
                QVERIFY2(c == field.palette().color(QPalette::Base) || y <= button.top() ||
                             y >= button.bottom(),
                         qPrintable(QString("text under the button at %1,%2").arg(x).arg(y)));
                continue;
            }
            // Scaled into the target: the left half of the target shows the left half.
            const bool leftHalf = (x - target.left()) * 2 < target.width() - 1;
            const bool rightHalf = (x - target.left()) * 2 > target.width();
            if (leftHalf)
                QCOMPARE(c, kLeft);
            else if (rightHalf)
                QCOMPARE(c, kRight);
        }
}

void TestMyEditBrowseCtrl::hoverAndPressChangeNothing()
{
    const QImage glyph = MakeGlyph();
    MyEditBrowseCtrl field(res::IDC_FOLDER);
    field.resize(200, 30);
    field.m_pButtonImage = &glyph;
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    QToolButton* button = field.browseButton();
    const QRect area = button->geometry();
    const QImage before = field.grab(area).toImage();

    QTest::mouseMove(field.windowHandle(), area.center());
    QTRY_VERIFY(button->underMouse());
    QCOMPARE(field.grab(area).toImage(), before);

    // Press without release: the picker opens only on release.
    QTest::mousePress(field.windowHandle(), Qt::LeftButton, {}, area.center());
    QVERIFY(button->isDown());
    QCOMPARE(field.grab(area).toImage(), before);
    button->setDown(false);
}

void TestMyEditBrowseCtrl::pickerStartsAtFieldFolder_data()
{
    QTest::addColumn<QString>("text");      // relative to a temporary folder
    QTest::addColumn<QString>("start");     // where the picker must open
    QTest::addColumn<QString>("choose");    // empty: cancel
    QTest::addColumn<QString>("expected");  // the field afterwards
    QTest::newRow("cancel leaves the text") << "a"
                                            << "a"
                                            << ""
                                            << "a";
    QTest::newRow("confirmed choice replaces the text") << "a"
                                                        << "a"
                                                        << "b"
                                                        << "b";
    QTest::newRow("missing folder opens at its nearest parent") << "a/not yet/made"
                                                                << "a"
                                                                << ""
                                                                << "a/not yet/made";
}

void TestMyEditBrowseCtrl::pickerStartsAtFieldFolder()
{
    QFETCH(QString, text);
    QFETCH(QString, start);
    QFETCH(QString, choose);
    QFETCH(QString, expected);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QVERIFY(QDir(tmp.path()).mkpath("a") && QDir(tmp.path()).mkpath("b"));
    auto inTmp = [&](const QString& rel) { return QDir(tmp.path()).absoluteFilePath(rel); };

    MyEditBrowseCtrl field(res::IDC_FOLDER);
    field.resize(300, 30);
    field.setText(inTmp(text));
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));

    PickerAnswer answer(choose.isEmpty() ? QString() : inTmp(choose));
    QTest::mouseClick(field.windowHandle(), Qt::LeftButton, {},
                      field.browseButton()->geometry().center());
    QTRY_VERIFY(answer.seen);
    QCOMPARE(QFileInfo(answer.startedAt).canonicalFilePath(),
             QFileInfo(inTmp(start)).canonicalFilePath());
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(QDir::cleanPath(field.text()), QDir::cleanPath(inTmp(expected)));
}

QTEST_MAIN(TestMyEditBrowseCtrl)
#include "TestMyEditBrowseCtrl.moc"
