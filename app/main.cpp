#include "COnlineInstallerApp.h"

int main(int argc, char** argv)
{
    COnlineInstallerApp theApp(argc, argv);
    theApp.InitInstance();
    return theApp.ExitInstance();
}
