// The installer window's members and its installation handlers: the install command and the
// progress timer, the agreement box and licence link, and the launch after the download.
// COnlineInstallerDlg (app/) derives from it and adds start-up, skin, layout and closing.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <memory>
#include <string>

#include "CWindowMessage.h"

class CHttpFileObject;
class CMyProgressCtrl;
class CPictureEx;
class CPngStatic;
class MyEditBrowseCtrl;
class QImage;
class QLabel;
class ServiceClient;

// 1 while the licence agreement is accepted; every run starts accepted.
extern int g_bAgreed;

class CInstallerWindowBase : public QDialog, public CCommandTarget
{
    Q_OBJECT
public:
    explicit CInstallerWindowBase(QWidget* parent = nullptr);
    ~CInstallerWindowBase() override;

    QIcon m_hIcon;
    QLabel* m_stcDownloading = nullptr;     // 1008
    QLabel* m_stcPercent = nullptr;         // 1009
    CMyProgressCtrl* m_progress = nullptr;  // 1010
    CHttpFileObject* m_pDownloadThread = nullptr;
    std::string m_strDownloadUrl;
    std::string m_strInstallerPath;
    CPictureEx* m_picBanner = nullptr;         // 1032
    CPngStatic* m_pngLogo = nullptr;           // 1034
    CPngStatic* m_pngClose = nullptr;          // 1036
    CPngStatic* m_pngMinimize = nullptr;       // 1035
    CPngStatic* m_pngDownload = nullptr;       // 1037
    CPngStatic* m_pngInstall = nullptr;        // 1038
    MyEditBrowseCtrl* m_editFolder = nullptr;  // 1041
    CPngStatic* m_pngAgree = nullptr;          // 1042
    QLabel* m_stcAgreeText = nullptr;          // 1043
    QLabel* m_stcLicenseLink = nullptr;        // 1044
    QLabel* m_stcNetworkHint = nullptr;        // 1050
    std::u16string m_strMacAddress;

    // The client of the usage events; nullptr means ServiceClient::Instance() (tests point it
    // at a local service).
    ServiceClient* m_pServiceClient = nullptr;

    // Ends the window; a download still running is stopped first (see EndDownload).
    void done(int result) override;

protected:
    // Installation branches of the command dispatch; each returns TRUE.
    bool InstallCommand();   // 1038
    bool AgreementToggle();  // 1042
    bool LicenceDisplay();   // 1044

    void timerEvent(QTimerEvent* event) override;  // timer 1 -> OnTimer(1)
    void OnTimer(int id);
    long OnDownloadFinished(WPARAM wParam, LPARAM lParam);

    // The usage event "S2_d01" / "S2_d02" with m_strMacAddress; waits up to 3 s.
    void ReportUsageEvent(const char16_t* code);

    // Stops a running download: its pending progress calls are cancelled, its transfer aborted
    // and its private file removed, waiting a bounded time for its thread. Safe to repeat.
    void EndDownload();

    int m_nTimerId = 0;  // Qt's id of logical timer 1

private:
    QPointer<QObject> m_pDownloadGuard;  // the worker while it exists (it deletes itself)
    bool m_bInstallStarted = false;
    // The pictures the agreement toggle loaded last; the ones they replaced are freed.
    std::unique_ptr<QImage> m_pInstallImage;
    std::unique_ptr<QImage> m_pAgreeImage;
};
