// The licence-agreement window: frameless, modal, image-skinned, with the read-only text.
#pragma once

#include <QDialog>
#include <array>
#include <memory>
#include <string>

#include "CWindowMessage.h"

class CPngStatic;
class QImage;
class QPlainTextEdit;

class CDialogP : public QDialog, public CCommandTarget
{
    Q_OBJECT
public:
    explicit CDialogP(QWidget* parent = nullptr);
    ~CDialogP() override;

    bool OnCommand(WPARAM wParam, LPARAM lParam) override;  // 1047 and 1049 close with IDCLOSE

    // Each opening runs OnInitDialog before the window appears.
    void setVisible(bool visible) override;
    void done(int result) override;
    void reject() override;  // Esc and the window manager's close: IDCANCEL

    CPngStatic* m_pngTitle;
    CPngStatic* m_pngCloseGlyph;
    CPngStatic* m_pngFooter;
    CPngStatic* m_pngCloseButton;
    QPlainTextEdit* m_editLicence;

protected:
    // Loads this opening's pictures, fills in the text and lays the window out by the
    // pictures' sizes.
    virtual bool OnInitDialog();

private:
    std::array<std::unique_ptr<QImage>, 4> m_images;  // this opening's pictures
    bool m_bInitialised = false;
};

// The agreement text shown by the window (UTF-16, CRLF line ends).
const std::u16string& LicenceText();
