// The downloaded installer on its way to its path. The bytes go into a new file of the target's
// folder that nobody else can open (unnamed where the file system allows it, else under a random
// name), owner-only and executable by its owner. Only Commit gives it the target's name, by
// rename, so whatever already sits at the path (a file, a planted link) is never followed or
// written through, and an unfinished download leaves nothing behind.
#pragma once

#include <cstddef>
#include <string>

class CInstallerFile
{
public:
    explicit CInstallerFile(std::string targetPath);
    ~CInstallerFile();  // discards what was not committed

    CInstallerFile(const CInstallerFile&) = delete;
    CInstallerFile& operator=(const CInstallerFile&) = delete;

    // Creates the private file; false when the folder cannot be written.
    bool Open();
    // Appends all `size` bytes; false on any error (disk full, ...).
    bool Write(const char* data, std::size_t size);
    // Closes the file and moves it to the target path; false (and nothing at the path changed)
    // when closing or moving fails.
    bool Commit();
    // Closes and removes the private file.
    void Discard();

    const std::string& TargetPath() const { return m_strTargetPath; }

private:
    bool LinkUnnamedFile();

    std::string m_strTargetPath;
    std::string m_strFolder;
    std::string m_strTempPath;  // the private file's name; empty while it is unnamed
    int m_nFd = -1;
    bool m_bFailed = false;
};
