// Runs the real vantora-devservice as a child process on a free loopback port, and plain HTTP
// requests to it through libcurl.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class DevServiceProcess
{
public:
    DevServiceProcess() = default;
    ~DevServiceProcess();
    DevServiceProcess(const DevServiceProcess&) = delete;
    DevServiceProcess& operator=(const DevServiceProcess&) = delete;

    // Starts the binary with "--port 0" and `arguments`, and reads the port from its first line.
    bool Start(const std::vector<std::string>& arguments, std::string& error);

    // SIGTERM, then waits up to `limit` for the exit. Returns the exit code, 128 + the signal
    // for a death by signal, or -1 when it had to be killed after the limit.
    int Stop(std::chrono::milliseconds limit = std::chrono::seconds(20));

    int Port() const { return m_nPort; }
    pid_t Pid() const { return m_pid; }
    std::string Url(const std::string& path) const;

private:
    int WaitForExit(std::chrono::milliseconds limit);

    pid_t m_pid = -1;
    int m_hStdout = -1;
    int m_nPort = -1;
};

struct HttpResult
{
    int curlCode = -1;
    long status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::vector<std::chrono::steady_clock::time_point> chunkTimes;  // one per delivered chunk
};

struct HttpRequest
{
    std::string url;
    bool post = false;
    std::string body;
    std::string range;  // e.g. "10-19"
    bool followRedirects = false;
    std::chrono::milliseconds timeout = std::chrono::seconds(30);
    std::function<void(std::size_t received)> onData;  // called on the fetching thread

    static HttpRequest Get(std::string url);
    static HttpRequest Post(std::string url, std::string body);
    HttpRequest& Range(std::string bytes);
    HttpRequest& FollowRedirects();
    HttpRequest& Timeout(std::chrono::milliseconds limit);
    HttpRequest& OnData(std::function<void(std::size_t)> callback);
};

HttpResult Fetch(const HttpRequest& request);

// A private temporary folder, removed with everything in it.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_strPath; }
    std::string File(const std::string& name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};

// Runs a program with extra environment entries ("NAME=value") and waits up to `limit`. Returns
// its exit code, 128 + the signal, or -1 when it did not end in time (it is then killed).
int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
               std::chrono::milliseconds limit);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);
std::string RandomBytes(std::size_t count, std::uint32_t seed);
std::string Sha256Hex(const std::string& bytes);

// A reference signer for requests built by hand: percent-encodes, sorts, signs with OpenSSL's
// HMAC-SHA1 and returns the form body. `params` is the final table before "sign" is added.
std::string SignedBody(const std::string& apiPath, const std::string& method,
                       std::map<std::string, std::string> params, const std::string& secret);
