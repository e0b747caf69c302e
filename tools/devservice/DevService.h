// The local stand-in for the product's web service: checks signed requests, answers the version
// query with a payload it serves itself, records usage events, and misbehaves on request.
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "RequestVerifier.h"

class DevService
{
public:
    enum class VersionMode
    {
        Ok,
        Clock,       // {"code":1009,...} whatever the time stamp
        Empty,       // status 200, empty body
        NotJson,     // status 200, plain text
        Html404,     // status 404, an HTML page
        Slow,        // the ok answer, 5 s late
        NoData,      // {"code":0} without "data"
        WrongTypes,  // members of the wrong JSON types
    };
    enum class DownloadMode
    {
        Ok,
        NotFound,  // 404
        Redirect,  // 302 to /moved/<name>, which serves the payload
        NoLength,  // chunked, no Content-Length
        DropHalf,  // announces the full length, sends half, closes the connection
        Slow,      // the payload in 100 slices over about 5 s
    };

    struct Options
    {
        int port = 18765;
        std::string payloadPath;  // empty: no payload, downloads answer 404
        std::string payloadName;  // empty: the payload file's base name
        std::string eventsPath;   // empty: events are only logged to stderr
        VersionMode versionMode = VersionMode::Ok;
        DownloadMode downloadMode = DownloadMode::Ok;
        std::string appKey;
        std::string appSecret;
    };

    static std::optional<VersionMode> ParseVersionMode(const std::string& text);
    static std::optional<DownloadMode> ParseDownloadMode(const std::string& text);

    explicit DevService(Options options);
    ~DevService();
    DevService(const DevService&) = delete;
    DevService& operator=(const DevService&) = delete;

    // Reads the payload, opens the events file and binds 127.0.0.1. Returns the bound port, or
    // -1 with `error` set.
    int Open(std::string& error);

    // Serves until Stop(); returns false when serving failed.
    bool Run();

    // Safe from any thread: wakes every waiting handler and ends Run().
    void Stop();

    static constexpr int kSlowVersionMs = 5000;
    static constexpr int kSlowDownloadSlices = 100;
    static constexpr int kSlowDownloadSliceMs = 50;

private:
    void HandlePost(const httplib::Request& request, httplib::Response& response);
    void HandleDownload(const httplib::Request& request, httplib::Response& response, bool moved);
    void ServePayload(httplib::Response& response, DownloadMode mode);
    void RecordEvent(const std::map<std::string, std::string>& params, bool signatureHolds,
                     int answer);
    std::string VersionReply() const;
    bool PayloadRead(std::uint64_t offset, std::size_t length, std::string& buffer) const;

    // Waits up to `ms`; false when the service is stopping.
    bool WaitUnlessStopping(int ms);
    bool Stopping();

    Options m_options;
    RequestVerifier m_verifier;
    httplib::Server m_server;
    int m_nPort = -1;

    int m_hPayload = -1;
    std::uint64_t m_nPayloadSize = 0;
    std::string m_strPayloadSha256;

    std::mutex m_eventsMutex;
    std::FILE* m_pEvents = nullptr;

    std::mutex m_stopMutex;
    std::condition_variable m_stopCondition;
    bool m_bStopping = false;
};
