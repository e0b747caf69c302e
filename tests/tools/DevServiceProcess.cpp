#include "DevServiceProcess.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <utility>

extern char** environ;

namespace {

int ExitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

std::string Encode(const std::string& bytes, const std::string& unreserved)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        const bool alnum =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (alnum || unreserved.find(static_cast<char>(c)) != std::string::npos) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0x0F];
        }
    }
    return out;
}

struct Transfer
{
    HttpResult* result;
    const HttpRequest* request;
};

std::size_t CollectBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    transfer->result->body.append(data, size * count);
    transfer->result->chunkTimes.push_back(std::chrono::steady_clock::now());
    if (transfer->request->onData)
        transfer->request->onData(transfer->result->body.size());
    return size * count;
}

std::size_t CollectHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* result = static_cast<HttpResult*>(user);
    const std::string line(data, size * count);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n") + 1);
        result->headers[name] = value;
    }
    return size * count;
}

// Waits for `pid` up to `limit` without polling in a loop: a pidfd becomes readable at its exit.
int WaitForChild(pid_t pid, std::chrono::milliseconds limit)
{
    const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidFd < 0)
        return -1;
    pollfd watched{pidFd, POLLIN, 0};
    const int ready = poll(&watched, 1, static_cast<int>(limit.count()));
    close(pidFd);
    if (ready <= 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return ExitCodeOf(status);
}

}  // namespace

DevServiceProcess::~DevServiceProcess()
{
    if (m_pid > 0)
        Stop();
    if (m_hStdout >= 0)
        close(m_hStdout);
}

bool DevServiceProcess::Start(const std::vector<std::string>& arguments, std::string& error)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return false;
    }
    std::vector<std::string> words = {VANTORA_DEVSERVICE_BINARY, "--port", "0"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    const int spawned = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    m_hStdout = pipeEnds[0];
    if (spawned != 0) {
        m_pid = -1;
        error = "cannot start " + words[0];
        return false;
    }

    // The first line names the port; a sanitizer build may take a while to get there.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{m_hStdout, POLLIN, 0};
        if (left.count() <= 0 || poll(&watched, 1, static_cast<int>(left.count())) <= 0) {
            error = "no first line from the service";
            return false;
        }
        char buffer[256];
        const ssize_t got = read(m_hStdout, buffer, sizeof buffer);
        if (got <= 0) {
            error = "the service ended before it listened: exit " + std::to_string(Stop());
            return false;
        }
        line.append(buffer, static_cast<std::size_t>(got));
    }
    line.erase(line.find('\n'));
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
        error = "unexpected first line: " + line;
        return false;
    }
    m_nPort = std::atoi(line.c_str() + prefix.size());
    if (m_nPort <= 0) {
        error = "no port in: " + line;
        return false;
    }
    return true;
}

int DevServiceProcess::WaitForExit(std::chrono::milliseconds limit)
{
    const int code = WaitForChild(m_pid, limit);
    if (code != -1)
        m_pid = -1;
    return code;
}

int DevServiceProcess::Stop(std::chrono::milliseconds limit)
{
    if (m_pid <= 0)
        return -1;
    kill(m_pid, SIGTERM);
    const int code = WaitForExit(limit);
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    return code;
}

std::string DevServiceProcess::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
               std::chrono::milliseconds limit)
{
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (auto& word : words)
        args.push_back(word.data());
    args.push_back(nullptr);
    std::vector<std::string> envWords = extraEnv;
    std::vector<char*> env;
    for (auto& entry : envWords)
        env.push_back(entry.data());
    for (char** entry = environ; *entry; ++entry)
        env.push_back(*entry);
    env.push_back(nullptr);

    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), env.data()) != 0)
        return -1;
    const int code = WaitForChild(pid, limit);
    if (code < 0) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return code;
}

HttpRequest HttpRequest::Get(std::string url)
{
    HttpRequest request;
    request.url = std::move(url);
    return request;
}

HttpRequest HttpRequest::Post(std::string url, std::string body)
{
    HttpRequest request = Get(std::move(url));
    request.post = true;
    request.body = std::move(body);
    return request;
}

HttpRequest& HttpRequest::Range(std::string bytes)
{
    range = std::move(bytes);
    return *this;
}

HttpRequest& HttpRequest::FollowRedirects()
{
    followRedirects = true;
    return *this;
}

HttpRequest& HttpRequest::Timeout(std::chrono::milliseconds limit)
{
    timeout = limit;
    return *this;
}

HttpRequest& HttpRequest::OnData(std::function<void(std::size_t)> callback)
{
    onData = std::move(callback);
    return *this;
}

HttpResult Fetch(const HttpRequest& request)
{
    HttpResult result;
    Transfer transfer{&result, &request};
    CURL* curl = curl_easy_init();
    if (!curl)
        return result;
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CollectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CollectHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &result);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    if (request.post) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    }
    if (!request.range.empty())
        curl_easy_setopt(curl, CURLOPT_RANGE, request.range.c_str());
    result.curlCode = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_cleanup(curl);
    return result;
}

TempFolder::TempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "devservice-test-XXXXXX");
    if (mkdtemp(pattern.data()))
        m_strPath = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    if (!m_strPath.empty())
        std::filesystem::remove_all(m_strPath, ignored);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

std::string RandomBytes(std::size_t count, std::uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 0x0F];
    }
    return text;
}

std::string SignedBody(const std::string& apiPath, const std::string& method,
                       std::map<std::string, std::string> params, const std::string& secret)
{
    // ASCII-only values here: the sign encoding then escapes every byte but letters, digits
    // and "!*()"; the body encoding all but letters, digits and "._-".
    std::string joined;
    for (const auto& [key, value] : params)
        joined += (joined.empty() ? "" : "&") + key + "=" + Encode(value, "!*()");
    const std::string toSign = method + "&" + Encode(apiPath, "._-") + "&" + Encode(joined, "._-");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha1(), secret.data(), static_cast<int>(secret.size()),
         reinterpret_cast<const unsigned char*>(toSign.data()), toSign.size(), digest, &length);
    unsigned char base64[64];
    const int written = EVP_EncodeBlock(base64, digest, static_cast<int>(length));
    params["sign"] = std::string(reinterpret_cast<const char*>(base64), written);

    std::string body;
    for (const auto& [key, value] : params)
        body += (body.empty() ? "" : "&") + key + "=" + Encode(value, "._-");
    return body;
}
