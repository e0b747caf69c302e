// The installer window: built from dialog template 102, skinned and laid out once, asks the
// service for the current installer at start, and ends only through done(IDCLOSE).
#pragma once

#include <QMessageBox>
#include <QPixmap>
#include <QPoint>
#include <map>
#include <memory>
#include <vector>

#include "CInstallerWindowBase.h"

class QImage;

class COnlineInstallerDlg : public CInstallerWindowBase
{
    Q_OBJECT
public:
    explicit COnlineInstallerDlg(QWidget* parent = nullptr);
    ~COnlineInstallerDlg() override;

    // Initialises the window, then runs it modally unless the initialisation already ended it.
    int DoModal();

    // Children, icons, adapter address, skin, layout, version query. False when the version
    // query ended the window (the service refused the machine's clock).
    bool OnInitDialog();

    bool OnCommand(WPARAM wParam, LPARAM lParam) override;

    void done(int result) override;
    void reject() override;  // Esc and the dialog's own cancel path end nothing

    bool HasEnded() const { return m_bEnded; }
    QWidget* Control(int id) const;  // a child of template 102 by its control number

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    long OnInstallerError(WPARAM wParam, LPARAM lParam);

    // A message box owned by the window, without icon; an empty caption shows the
    // application name.
    QMessageBox::StandardButton MessageBox(const QString& text, const QString& caption,
                                           QMessageBox::StandardButtons buttons);

    // Start-up steps (core, version query, skin and layout live in separate sources).
    void DoDataExchange();
    bool QueryInstallerVersion();
    void AssembleSkin();
    void LayOutWindow();

private:
    const QImage* KeepImage(QImage* image);

    std::map<int, QWidget*> m_controls;             // template children by control number
    std::vector<std::unique_ptr<QImage>> m_images;  // skin pictures, kept for the window's life
    QPixmap m_background;                           // bitmap 130, tiled from the top-left corner
    QSize m_downloadImageSize{0, 0};                // picture 155 as loaded
    QPoint m_dragOffset;
    bool m_bManualDrag = false;
    bool m_bInitialised = false;
    bool m_bEnded = false;
    bool m_bAskingToClose = false;
};
