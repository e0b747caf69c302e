#include <sys/stat.h>

#include <cstdlib>

#include "Platform.h"

namespace platform {

std::string TempFolder()
{
    std::string folder = "/tmp";
    // Only an absolute, existing directory counts: a relative one would move with the
    // working directory between the download and the launch.
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && tmpdir[0] == '/') {
        struct stat info
        {
        };
        if (stat(tmpdir, &info) == 0 && S_ISDIR(info.st_mode))
            folder = tmpdir;
    }
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

}  // namespace platform
