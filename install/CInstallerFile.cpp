#include "CInstallerFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr mode_t kInstallerMode = S_IRUSR | S_IWUSR | S_IXUSR;

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string RandomSuffix()
{
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char bytes[12] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        for (auto& b : bytes)
            b = static_cast<unsigned char>(std::rand());
    }
    std::string suffix;
    for (unsigned char b : bytes)
        suffix += kChars[b % (sizeof kChars - 1)];
    return suffix;
}

}  // namespace

CInstallerFile::CInstallerFile(std::string targetPath)
    : m_strTargetPath(std::move(targetPath)), m_strFolder(FolderOf(m_strTargetPath))
{
}

CInstallerFile::~CInstallerFile()
{
    Discard();
}

bool CInstallerFile::Open()
{
    if (m_nFd >= 0 || m_strTargetPath.empty() || BaseNameOf(m_strTargetPath).empty())
        return false;
    m_bFailed = false;
    m_nFd = open(m_strFolder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kInstallerMode);
    if (m_nFd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // No unnamed files here: a new name that nobody can have prepared (O_EXCL, no links).
        std::string templ = m_strFolder + "/." + BaseNameOf(m_strTargetPath) + ".XXXXXX";
        m_nFd = mkostemp(templ.data(), O_CLOEXEC);
        if (m_nFd >= 0)
            m_strTempPath = templ;
    }
    if (m_nFd < 0)
        return false;
    // The umask may have taken bits away; the installer must run for its owner only.
    if (fchmod(m_nFd, kInstallerMode) != 0) {
        Discard();
        return false;
    }
    return true;
}

bool CInstallerFile::Write(const char* data, std::size_t size)
{
    if (m_nFd < 0 || m_bFailed)
        return false;
    while (size > 0) {
        const ssize_t n = write(m_nFd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_bFailed = true;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CInstallerFile::LinkUnnamedFile()
{
    // An unnamed file gets a random name first; rename then replaces the target atomically.
    const std::string procPath = "/proc/self/fd/" + std::to_string(m_nFd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = m_strFolder + "/." + BaseNameOf(m_strTargetPath) + "." + RandomSuffix();
        int rc = linkat(m_nFd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
        if (rc != 0 && errno != EEXIST)
            rc = linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
        if (rc == 0) {
            m_strTempPath = std::move(name);
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CInstallerFile::Commit()
{
    if (m_nFd < 0 || m_bFailed)
        return false;
    if (m_strTempPath.empty() && !LinkUnnamedFile()) {
        Discard();
        return false;
    }
    const int fd = m_nFd;
    m_nFd = -1;
    if (close(fd) != 0) {
        Discard();
        return false;
    }
    if (rename(m_strTempPath.c_str(), m_strTargetPath.c_str()) != 0) {
        Discard();
        return false;
    }
    m_strTempPath.clear();
    return true;
}

void CInstallerFile::Discard()
{
    if (m_nFd >= 0) {
        close(m_nFd);
        m_nFd = -1;
    }
    if (!m_strTempPath.empty()) {
        unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
    }
}
