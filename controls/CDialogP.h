// The licence-agreement window: frameless, modal, image-skinned, with the read-only text.
#pragma once

#include <QDialog>

#include "CWindowMessage.h"

class CPngStatic;
class QPlainTextEdit;

class CDialogP : public QDialog, public CCommandTarget
{
    Q_OBJECT
public:
    explicit CDialogP(QWidget* parent = nullptr);
    ~CDialogP() override;

    bool OnCommand(WPARAM wParam, LPARAM lParam) override;  // 1047 and 1049 close with IDCLOSE

    CPngStatic* m_pngTitle;
    CPngStatic* m_pngCloseGlyph;
    CPngStatic* m_pngFooter;
    CPngStatic* m_pngCloseButton;
    QPlainTextEdit* m_editLicence;
};

// The agreement text shown by the window (UTF-16, CRLF line ends).
const std::u16string& LicenceText();
