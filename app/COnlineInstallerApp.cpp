#include "COnlineInstallerApp.h"

#include "COnlineInstallerDlg.h"

namespace {

char g_szProgramName[] = "vantora-online-installer";

}  // namespace

COnlineInstallerApp::COnlineInstallerApp(int argc, char** argv)
{
    m_argv[0] = argc > 0 && argv[0] ? argv[0] : g_szProgramName;
    m_app = std::make_unique<QApplication>(m_argc, m_argv);
}

COnlineInstallerApp::~COnlineInstallerApp() = default;

bool COnlineInstallerApp::InitInstance()
{
    // Common controls, shell manager, visual manager, registry key and the image library's
    // start-up have no counterpart here: Qt provides them with the QApplication.
    {
        // The window lives for the modal run; its result is not looked at.
        COnlineInstallerDlg dlg;
        dlg.DoModal();
    }  // destroyed here: a download still running is stopped by the window's destructor
    return false;
}

int COnlineInstallerApp::ExitInstance()
{
    return 0;
}
