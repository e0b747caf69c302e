// vantora-demo-setup: stands in for the downloaded full installer. Its first argument is
// "<folder>|online_install"; it shows the folder and the raw argument.
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>

namespace {

// Appends {"argv":[...]} as one line; the arguments are taken as UTF-8 bytes.
bool RecordArguments(const QString& path, int argc, char** argv)
{
    QJsonArray arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromUtf8(argv[i]));
    QJsonObject record;
    record.insert(QStringLiteral("argv"), arguments);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray line = QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
    return file.write(line) == line.size() && file.flush();
}

}  // namespace

int main(int argc, char** argv)
{
    // Recorded before Qt sees argv: QApplication strips the options it knows.
    const QByteArray recordPath = qgetenv("VANTORA_DEMO_SETUP_RECORD");
    if (!recordPath.isEmpty() && !RecordArguments(QString::fromLocal8Bit(recordPath), argc, argv))
        std::fprintf(stderr, "vantora-demo-setup: cannot record to %s\n", recordPath.constData());

    const QString raw = argc > 1 ? QString::fromUtf8(argv[1]) : QString();
    const int bar = raw.indexOf(QLatin1Char('|'));
    const QString folder = bar < 0 ? raw : raw.left(bar);

    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Vantora 2.0 安装程序"));
    auto* layout = new QVBoxLayout(&window);
    auto* heading = new QLabel(QStringLiteral("Vantora 2.0 安装程序"), &window);
    QFont headingFont = heading->font();
    headingFont.setPointSize(headingFont.pointSize() + 4);
    heading->setFont(headingFont);
    auto* folderLabel = new QLabel(QStringLiteral("安装目录: %1").arg(folder), &window);
    folderLabel->setObjectName(QStringLiteral("folder"));
    auto* rawLabel = new QLabel(QStringLiteral("参数: %1").arg(raw), &window);
    rawLabel->setObjectName(QStringLiteral("argument"));
    for (QLabel* label : {folderLabel, rawLabel})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(heading);
    layout->addWidget(folderLabel);
    layout->addWidget(rawLabel);
    window.resize(420, 140);
    window.show();

    bool ok = false;
    const int exitAfterMs = qEnvironmentVariableIntValue("VANTORA_DEMO_SETUP_EXIT_AFTER_MS", &ok);
    if (ok && exitAfterMs >= 0)
        QTimer::singleShot(exitAfterMs, &app, &QApplication::quit);
    return app.exec();
}
