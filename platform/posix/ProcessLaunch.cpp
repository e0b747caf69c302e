#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Platform.h"

extern char** environ;

namespace platform {

namespace {

// The download arrives as a plain file; its owner may run it. Opened without following a
// symbolic link, so a link planted under the same name is not made executable.
void MakeOwnerExecutable(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    struct stat info
    {
    };
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR) == 0)
        fchmod(fd, (info.st_mode & 07777) | S_IXUSR);
    close(fd);
}

}  // namespace

bool LaunchDetached(const std::string& path, const std::vector<std::string>& args)
{
    if (path.empty())
        return false;
    MakeOwnerExecutable(path);

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        posix_spawnattr_destroy(&attributes);
        return false;
    }

    // A session of its own, so the installer outlives us and our terminal; a clean signal
    // state, since the GUI thread's mask and handlers are none of its business.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // Nothing but standard input, output and error is handed on, whether or not the
    // descriptor was opened with close-on-exec.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    pid_t pid = 0;
    const int error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0;
}

}  // namespace platform
