#include <QFile>
#include <QString>
#include <string>

#include "CDialogP.h"

const std::u16string& LicenceText()
{
    // Read once from the compiled-in UTF-8 text (CRLF line ends kept as they are).
    static const std::u16string text = [] {
        QFile file(QStringLiteral(":/TEXT/licence"));
        if (!file.open(QIODevice::ReadOnly))
            return std::u16string();
        return QString::fromUtf8(file.readAll()).toStdU16String();
    }();
    return text;
}
