#include "CInstallerWindowBase.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QTimerEvent>

#include "CDialogP.h"
#include "CHttpFileObject.h"
#include "CMyProgressCtrl.h"
#include "CPngStatic.h"
#include "MachineIdentity.h"
#include "MyEditBrowseCtrl.h"
#include "Platform.h"
#include "ResourceIds.h"
#include "ResourceImages.h"
#include "ServiceClient.h"
#include "TextConversion.h"

int g_bAgreed = 1;

namespace {

constexpr int kProgressTimer = 1;
constexpr int kProgressTimerMs = 100;
constexpr int kServiceTimeoutSeconds = 3;
// How long the end of the window waits for a download to notice its abort: the worker checks
// at every received block and at least once a second.
constexpr int kWorkerStopWaitMs = 3000;
constexpr std::size_t kFolderTextUnits = 259;

void ShowHide(QWidget* widget, bool show)
{
    if (widget)
        widget->setVisible(show);
}

}  // namespace

CInstallerWindowBase::CInstallerWindowBase(QWidget* parent) : QDialog(parent) {}

CInstallerWindowBase::~CInstallerWindowBase()
{
    EndDownload();
}

void CInstallerWindowBase::done(int result)
{
    EndDownload();
    QDialog::done(result);
}

void CInstallerWindowBase::EndDownload()
{
    auto* worker = static_cast<CHttpFileObject*>(m_pDownloadGuard.data());
    if (!worker)
        return;
    m_pDownloadGuard = nullptr;
    worker->Abandon(kWorkerStopWaitMs);
}

bool CInstallerWindowBase::InstallCommand()
{
    if (g_bAgreed == 0 || m_bInstallStarted)
        return true;
    m_bInstallStarted = true;

    ShowHide(m_stcDownloading, true);
    ShowHide(m_stcPercent, true);
    ShowHide(m_progress, true);
    ShowHide(m_editFolder, false);
    ShowHide(m_pngAgree, false);
    ShowHide(m_stcAgreeText, false);
    ShowHide(m_stcLicenseLink, false);
    ShowHide(m_pngInstall, false);
    ShowHide(m_stcNetworkHint, true);

    m_nTimerId = startTimer(kProgressTimerMs);
    if (m_stcPercent)
        m_stcPercent->setText(QStringLiteral("0%"));

    m_pDownloadThread = CHttpFileObject::BeginThread();
    m_pDownloadGuard = m_pDownloadThread;
    if (m_pDownloadThread) {
        m_pDownloadThread->m_hProgressWnd = m_progress;
        if (m_pDownloadThread->Init(m_strDownloadUrl))
            m_pDownloadThread->StartDownload(m_strInstallerPath);
    } else {
        // No worker, no download: the window reports it as the failed download it is.
        QCoreApplication::postEvent(this, new CWindowMessage(WM_INSTALLER_ERROR, 5));
    }

    ReportUsageEvent(u"S2_d01");
    return true;
}

void CInstallerWindowBase::timerEvent(QTimerEvent* event)
{
    if (m_nTimerId != 0 && event->timerId() == m_nTimerId) {
        OnTimer(kProgressTimer);
        return;
    }
    QDialog::timerEvent(event);
}

void CInstallerWindowBase::OnTimer(int id)
{
    if (id != kProgressTimer || !m_progress || !m_stcPercent)
        return;
    int lower = 0;
    int upper = 0;
    m_progress->GetRange(lower, upper);
    const int pos = m_progress->GetPos();
    if (pos < upper) {
        m_progress->SetPos(pos);  // repaints the bar
    } else {
        killTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    const int percent = upper != 0 ? pos * 100 / upper : 0;
    m_stcPercent->setText(QString::number(percent) + QLatin1Char('%'));
    // The label is transparent: hiding and showing it repaints the background beneath.
    m_stcPercent->hide();
    m_stcPercent->show();
}

bool CInstallerWindowBase::AgreementToggle()
{
    const bool agree = g_bAgreed == 0;
    std::unique_ptr<QImage> install(
        LoadPngResourceImage(agree ? res::IDP_INSTALL : res::IDP_INSTALL_GREY));
    std::unique_ptr<QImage> box(
        LoadPngResourceImage(agree ? res::IDP_AGREE_TICKED : res::IDP_AGREE_EMPTY));
    if (m_pngInstall)
        m_pngInstall->m_pImage = install.get();
    if (m_pngAgree)
        m_pngAgree->m_pImage = box.get();
    // The statics now show the new pictures; the ones this toggle loaded before are unused.
    m_pInstallImage = std::move(install);
    m_pAgreeImage = std::move(box);
    g_bAgreed = agree ? 1 : 0;
    if (m_pngAgree)
        m_pngAgree->update();
    if (m_pngInstall)
        m_pngInstall->update();
    return true;
}

bool CInstallerWindowBase::LicenceDisplay()
{
    CDialogP licence(this);
    licence.exec();
    return true;
}

long CInstallerWindowBase::OnDownloadFinished(WPARAM, LPARAM)
{
    std::u16string folder;
    if (m_editFolder)
        folder = m_editFolder->text().toStdU16String();
    if (folder.size() > kFolderTextUnits)
        folder.resize(kFolderTextUnits);

    const bool launched =
        platform::LaunchDetached(m_strInstallerPath, {WideToUtf8(folder) + "|online_install"});
    if (!launched) {
        QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(),
                        QString::fromUtf8("安装程序启动失败！"), QMessageBox::Ok, this);
        box.exec();
        done(IDCLOSE);
        return 0;
    }
    done(IDCLOSE);
    ReportUsageEvent(u"S2_d02");
    return 0;
}

void CInstallerWindowBase::ReportUsageEvent(const char16_t* code)
{
    ServiceClient& client = m_pServiceClient ? *m_pServiceClient : ServiceClient::Instance();
    std::string reply;
    client.Call(reply, kServiceTimeoutSeconds, u"v1/userop/add",
                UsageEventParameters(code, m_strMacAddress));
}
