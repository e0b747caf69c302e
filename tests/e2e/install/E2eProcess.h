// Helpers of the end-to-end runs: processes started and ended by their id, files, polling with
// a deadline, and xdotool.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace e2e {

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Polls `done` every 25 ms until it holds or `ms` have passed.
inline bool WaitFor(const std::function<bool()>& done, int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return true;
}

// A child process with stdout and stderr in `logPath`, the environment extended by `env`.
class Process
{
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process() { Stop(); }

    bool Start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
               const std::string& logPath)
    {
        std::vector<std::string> envText;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (!env.count(entry.substr(0, entry.find('='))))
                envText.push_back(entry);
        }
        for (const auto& [key, value] : env)
            envText.push_back(key + "=" + value);
        std::vector<char*> args, envp;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const std::string& e : envText)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc =
            posix_spawn(&m_pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            m_pid = -1;
        return m_pid > 0;
    }

    pid_t Pid() const { return m_pid; }

    // The exit status once the process has ended within `ms`; no value while it runs.
    std::optional<int> WaitExit(int ms)
    {
        if (m_pid <= 0)
            return m_status;
        WaitFor(
            [&] {
                int status = 0;
                if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_status = status;
                    m_pid = -1;
                    return true;
                }
                return false;
            },
            ms);
        return m_status;
    }

    void Stop()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGTERM);
        if (!WaitExit(3000)) {
            kill(m_pid, SIGKILL);
            WaitExit(3000);
        }
    }

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// Runs a command to its end and returns what it printed; empty on failure.
inline std::string Capture(const std::vector<std::string>& argv)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while (rc == 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    if (rc == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return out;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// The visible top-level windows of process `pid`, as xdotool lists them.
inline std::vector<std::string> WindowsOf(pid_t pid)
{
    return Lines(Capture({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)}));
}

inline void Click(int x, int y)
{
    Capture({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"});
}

struct Geometry
{
    int x = 0, y = 0, width = 0, height = 0;
};

inline Geometry GeometryOf(const std::string& window)
{
    Geometry g;
    for (const std::string& line :
         Lines(Capture({"xdotool", "getwindowgeometry", "--shell", window}))) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X")
            g.x = value;
        else if (key == "Y")
            g.y = value;
        else if (key == "WIDTH")
            g.width = value;
        else if (key == "HEIGHT")
            g.height = value;
    }
    return g;
}

inline std::string TitleOf(const std::string& window)
{
    std::string title = Capture({"xdotool", "getwindowname", window});
    while (!title.empty() && (title.back() == '\n' || title.back() == '\r'))
        title.pop_back();
    return title;
}

// Presses Enter in `window` (the default button of a message box).
inline void PressEnter(const std::string& window)
{
    Capture({"xdotool", "windowfocus", "--sync", window});
    Capture({"xdotool", "key", "Return"});
}

}  // namespace e2e
