// The version query at start: which full installer to fetch, and where to put it.
#include <QCoreApplication>

#include "COnlineInstallerDlg.h"
#include "Platform.h"
#include "ResourceIds.h"
#include "ServiceClient.h"
#include "VersionReply.h"

namespace {

constexpr std::uint32_t kClockRefused = 1009;
constexpr std::int32_t kServiceTimeoutSeconds = 3;

}  // namespace

bool COnlineInstallerDlg::QueryInstallerVersion()
{
    // Ask; the call's result shows only in what the reply holds.
    ServiceClient& service = m_pServiceClient ? *m_pServiceClient : ServiceClient::Instance();
    std::string reply;
    service.Call(reply, kServiceTimeoutSeconds, u"v1/version/return_version", u"");

    // A reply that does not parse, or that has a shape we cannot use, is reported once the
    // window's loop runs; reading goes on with what could be read.
    const VersionReply version = ParseVersionReply(reply);
    if (!version.wellFormed)
        QCoreApplication::postEvent(this, new CWindowMessage(WM_INSTALLER_ERROR, 5, 0));

    if (version.code == kClockRefused) {
        MessageBox(QStringLiteral("您的电脑系统时间不正确,请修改！"), QString(), QMessageBox::Ok);
        done(IDCLOSE);
        return false;
    }

    m_strDownloadUrl = version.url;
    m_strInstallerPath += platform::TempFolder();
    m_strInstallerPath += InstallerFileName(m_strDownloadUrl);
    return true;
}
