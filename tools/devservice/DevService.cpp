#include "DevService.h"

#include <fcntl.h>
#include <json/json.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kReadBlock = 256 * 1024;
constexpr const char* kHtml404 =
    "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>"
    "<body><h1>Not Found</h1><p>The requested URL was not found on this "
    "server.</p></body></html>\n";

std::string CompactJson(const Json::Value& value)
{
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

std::string ErrorReply(int code, const std::string& message)
{
    Json::Value reply;
    reply["code"] = code;
    reply["msg"] = message;
    return CompactJson(reply);
}

std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

std::string Sha256Hex(int fd, std::uint64_t size, std::string& error)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        error = "cannot start SHA-256";
        return {};
    }
    std::vector<char> block(kReadBlock);
    std::uint64_t offset = 0;
    while (offset < size) {
        const ssize_t got = pread(fd, block.data(), block.size(), static_cast<off_t>(offset));
        if (got <= 0) {
            error = "cannot read the payload";
            return {};
        }
        EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(got));
        offset += static_cast<std::uint64_t>(got);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 0x0F];
    }
    return text;
}

}  // namespace

std::optional<DevService::VersionMode> DevService::ParseVersionMode(const std::string& text)
{
    static const std::map<std::string, VersionMode> modes = {
        {"ok", VersionMode::Ok},
        {"clock", VersionMode::Clock},
        {"empty", VersionMode::Empty},
        {"not-json", VersionMode::NotJson},
        {"html-404", VersionMode::Html404},
        {"slow", VersionMode::Slow},
        {"no-data", VersionMode::NoData},
        {"wrong-types", VersionMode::WrongTypes},
    };
    const auto found = modes.find(text);
    if (found == modes.end())
        return std::nullopt;
    return found->second;
}

std::optional<DevService::DownloadMode> DevService::ParseDownloadMode(const std::string& text)
{
    static const std::map<std::string, DownloadMode> modes = {
        {"ok", DownloadMode::Ok},
        {"404", DownloadMode::NotFound},
        {"302", DownloadMode::Redirect},
        {"no-length", DownloadMode::NoLength},
        {"drop-half", DownloadMode::DropHalf},
        {"slow", DownloadMode::Slow},
    };
    const auto found = modes.find(text);
    if (found == modes.end())
        return std::nullopt;
    return found->second;
}

DevService::DevService(Options options)
    : m_options(std::move(options)), m_verifier(m_options.appKey, m_options.appSecret)
{
}

DevService::~DevService()
{
    if (m_hPayload >= 0)
        close(m_hPayload);
    if (m_pEvents)
        std::fclose(m_pEvents);
}

int DevService::Open(std::string& error)
{
    if (!m_options.payloadPath.empty()) {
        m_hPayload = open(m_options.payloadPath.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info
        {
        };
        if (m_hPayload < 0 || fstat(m_hPayload, &info) != 0 || !S_ISREG(info.st_mode)) {
            error = "cannot open the payload " + m_options.payloadPath;
            return -1;
        }
        m_nPayloadSize = static_cast<std::uint64_t>(info.st_size);
        m_strPayloadSha256 = Sha256Hex(m_hPayload, m_nPayloadSize, error);
        if (!error.empty())
            return -1;
        if (m_options.payloadName.empty())
            m_options.payloadName = std::filesystem::path(m_options.payloadPath).filename();
    }
    if (!m_options.eventsPath.empty()) {
        m_pEvents = std::fopen(m_options.eventsPath.c_str(), "ae");
        if (!m_pEvents) {
            error = "cannot open the events file " + m_options.eventsPath;
            return -1;
        }
    }

    m_server.set_payload_max_length(1024 * 1024);
    m_server.Post(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
        HandlePost(request, response);
    });
    m_server.Get(R"(/download/(.+))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     HandleDownload(request, response, false);
                 });
    m_server.Get(R"(/moved/(.+))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     HandleDownload(request, response, true);
                 });
    m_server.set_logger([](const httplib::Request& request, const httplib::Response& response) {
        std::fprintf(stderr, "devservice: %s %s -> %d\n", request.method.c_str(),
                     request.path.c_str(), response.status);
    });

    // SO_REUSEADDR only: the library's default also sets SO_REUSEPORT, which would let a second
    // service bind the same port silently and split the requests between the two.
    m_server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    if (m_options.port == 0) {
        m_nPort = m_server.bind_to_any_port("127.0.0.1");
    } else {
        m_nPort = m_server.bind_to_port("127.0.0.1", m_options.port) ? m_options.port : -1;
    }
    if (m_nPort <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(m_options.port);
        m_nPort = -1;
    }
    return m_nPort;
}

bool DevService::Run()
{
    if (Stopping())
        return true;
    return m_server.listen_after_bind() || Stopping();
}

void DevService::Stop()
{
    {
        std::lock_guard lock(m_stopMutex);
        m_bStopping = true;
    }
    m_stopCondition.notify_all();
    m_server.stop();
}

bool DevService::Stopping()
{
    std::lock_guard lock(m_stopMutex);
    return m_bStopping;
}

bool DevService::WaitUnlessStopping(int ms)
{
    std::unique_lock lock(m_stopMutex);
    return !m_stopCondition.wait_for(lock, std::chrono::milliseconds(ms),
                                     [this] { return m_bStopping; });
}

void DevService::HandlePost(const httplib::Request& request, httplib::Response& response)
{
    // The signer signs the API path without the "/" the URL puts before it.
    std::string apiPath = request.path;
    if (!apiPath.empty() && apiPath.front() == '/')
        apiPath.erase(0, 1);

    const auto params = RequestVerifier::ParseForm(request.body);
    const auto verdict = m_verifier.Check("POST", apiPath, params, Now());
    const int code = RequestVerifier::CodeOf(verdict);

    if (apiPath == "v1/userop/add") {
        RecordEvent(params, m_verifier.SignatureHolds("POST", apiPath, params), code);
        response.set_content(verdict == RequestVerifier::Verdict::Accepted
                                 ? std::string(R"({"code":0})")
                                 : ErrorReply(code, RequestVerifier::MessageOf(verdict)),
                             "application/json");
        return;
    }
    if (verdict != RequestVerifier::Verdict::Accepted) {
        response.set_content(ErrorReply(code, RequestVerifier::MessageOf(verdict)),
                             "application/json");
        return;
    }
    if (apiPath != "v1/version/return_version") {
        response.status = 404;
        response.set_content(ErrorReply(1004, "unknown API path " + apiPath), "application/json");
        return;
    }

    switch (m_options.versionMode) {
        case VersionMode::Ok:
            response.set_content(VersionReply(), "application/json");
            break;
        case VersionMode::Clock:
            response.set_content(ErrorReply(RequestVerifier::kCodeClockRefused,
                                            "time_stamp refused: the client clock is wrong"),
                                 "application/json");
            break;
        case VersionMode::Empty:
            response.set_content("", "application/json");
            break;
        case VersionMode::NotJson:
            response.set_content("service temporarily unavailable, try again later\n",
                                 "text/plain");
            break;
        case VersionMode::Html404:
            response.status = 404;
            response.set_content(kHtml404, "text/html");
            break;
        case VersionMode::Slow:
            if (!WaitUnlessStopping(kSlowVersionMs)) {
                response.status = 503;
                return;
            }
            response.set_content(VersionReply(), "application/json");
            break;
        case VersionMode::NoData:
            response.set_content(R"({"code":0})", "application/json");
            break;
        case VersionMode::WrongTypes: {
            // A textual code, and a "data" that is a string instead of an object.
            Json::Value reply;
            reply["code"] = "0";
            reply["data"] = "http://127.0.0.1:" + std::to_string(m_nPort) + "/download/" +
                            m_options.payloadName;
            response.set_content(CompactJson(reply), "application/json");
            break;
        }
    }
}

std::string DevService::VersionReply() const
{
    Json::Value reply;
    reply["code"] = 0;
    Json::Value& data = reply["data"];
    data["url"] =
        "http://127.0.0.1:" + std::to_string(m_nPort) + "/download/" +
        (m_options.payloadName.empty() ? std::string("vantora-setup") : m_options.payloadName);
    if (m_hPayload >= 0) {
        data["size"] = Json::UInt64(m_nPayloadSize);
        data["sha256"] = m_strPayloadSha256;
    }
    return CompactJson(reply);
}

void DevService::RecordEvent(const std::map<std::string, std::string>& params, bool signatureHolds,
                             int answer)
{
    auto value = [&params](const char* key) {
        const auto found = params.find(key);
        return found == params.end() ? Json::Value() : Json::Value(found->second);
    };
    Json::Value event;
    event["time"] = Json::Int64(Now());
    event["code"] = value("code");
    event["remark"] = value("remark");
    event["type"] = value("type");
    event["time_stamp"] = value("time_stamp");
    event["signature_ok"] = signatureHolds;
    event["answer"] = answer;
    const std::string line = CompactJson(event);

    std::lock_guard lock(m_eventsMutex);
    std::fprintf(stderr, "devservice: event %s\n", line.c_str());
    if (m_pEvents) {
        std::fprintf(m_pEvents, "%s\n", line.c_str());
        std::fflush(m_pEvents);
    }
}

bool DevService::PayloadRead(std::uint64_t offset, std::size_t length, std::string& buffer) const
{
    buffer.resize(length);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = pread(m_hPayload, buffer.data() + done, length - done,
                                  static_cast<off_t>(offset + done));
        if (got <= 0)
            return false;  // the file shrank or cannot be read: end the transfer
        done += static_cast<std::size_t>(got);
    }
    return true;
}

void DevService::HandleDownload(const httplib::Request& request, httplib::Response& response,
                                bool moved)
{
    const std::string name = request.matches[1];
    if (m_hPayload < 0 || name != m_options.payloadName) {
        response.status = 404;
        response.set_content(kHtml404, "text/html");
        return;
    }
    // The address a redirect points to serves the payload plainly, so a client that follows it
    // would get the file: the failure is the client's refusal to follow.
    ServePayload(response, moved ? DownloadMode::Ok : m_options.downloadMode);
}

void DevService::ServePayload(httplib::Response& response, DownloadMode mode)
{
    const std::uint64_t size = m_nPayloadSize;
    switch (mode) {
        case DownloadMode::Ok:
            // Ranges are cut by the server from this provider's offsets.
            response.set_content_provider(
                size, "application/octet-stream",
                [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    if (Stopping())
                        return false;
                    std::string buffer;
                    if (!PayloadRead(offset, std::min(length, kReadBlock), buffer))
                        return false;
                    return sink.write(buffer.data(), buffer.size());
                });
            break;
        case DownloadMode::NotFound:
            response.status = 404;
            response.set_content(kHtml404, "text/html");
            break;
        case DownloadMode::Redirect:
            response.set_redirect("/moved/" + m_options.payloadName, 302);
            break;
        case DownloadMode::NoLength:
            response.set_chunked_content_provider(
                "application/octet-stream",
                [this, size](std::size_t offset, httplib::DataSink& sink) {
                    if (Stopping())
                        return false;
                    if (offset >= size) {
                        sink.done();
                        return true;
                    }
                    std::string buffer;
                    const auto length = static_cast<std::size_t>(
                        std::min<std::uint64_t>(size - offset, kReadBlock));
                    if (!PayloadRead(offset, length, buffer))
                        return false;
                    return sink.write(buffer.data(), buffer.size());
                });
            break;
        case DownloadMode::DropHalf:
            // Full length announced; returning false after the first half makes the server
            // close the connection mid-body.
            response.set_content_provider(
                size, "application/octet-stream",
                [this, size](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    const std::uint64_t half = size / 2;
                    if (Stopping() || offset >= half)
                        return false;
                    std::string buffer;
                    const auto piece = static_cast<std::size_t>(
                        std::min<std::uint64_t>({half - offset, length, kReadBlock}));
                    if (!PayloadRead(offset, piece, buffer))
                        return false;
                    return sink.write(buffer.data(), buffer.size());
                });
            break;
        case DownloadMode::Slow: {
            const std::uint64_t slice =
                std::max<std::uint64_t>(1, (size + kSlowDownloadSlices - 1) / kSlowDownloadSlices);
            response.set_content_provider(
                size, "application/octet-stream",
                [this, slice](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    if (offset > 0 && !WaitUnlessStopping(kSlowDownloadSliceMs))
                        return false;
                    std::string buffer;
                    const auto piece =
                        static_cast<std::size_t>(std::min<std::uint64_t>(slice, length));
                    if (!PayloadRead(offset, piece, buffer))
                        return false;
                    return sink.write(buffer.data(), buffer.size());
                });
            break;
        }
    }
}
