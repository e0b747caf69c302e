// The application object: owns the QApplication and runs the installer window once.
#pragma once

#include <QApplication>
#include <memory>

class COnlineInstallerApp
{
public:
    // The command line is not read: Qt sees only the program's name, so no argument can
    // change how the installer behaves.
    COnlineInstallerApp(int argc, char** argv);
    ~COnlineInstallerApp();

    bool InitInstance();  // runs the whole program; always false
    int ExitInstance();   // the process exit code: always 0

private:
    int m_argc = 1;
    char* m_argv[2] = {nullptr, nullptr};
    std::unique_ptr<QApplication> m_app;
};
