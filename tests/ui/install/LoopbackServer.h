// An HTTP server on 127.0.0.1 with a port of the system's choosing, run on its own thread, that
// serves the download cases the worker meets: a payload with and without a length, errors,
// a redirect, a connection dropped halfway and an endless slow stream.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

class LoopbackServer
{
public:
    explicit LoopbackServer(std::size_t payloadSize = 8 * 1024 * 1024 + 17)
    {
        std::mt19937 random(7);
        m_payload.resize(payloadSize);
        for (char& c : m_payload)
            c = static_cast<char>(random());

        m_server.Get("/ok/Setup.run", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(m_payload, "application/octet-stream");
        });
        m_server.Get("/empty/Setup.run", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("", "application/octet-stream");
        });
        m_server.Get("/404/Setup.run", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("<html>not here</html>", "text/html");
        });
        m_server.Get("/302/Setup.run", [](const httplib::Request&, httplib::Response& res) {
            res.status = 302;
            res.set_header("Location", "/ok/Setup.run");
        });
        m_server.Get("/nolength/Setup.run", [this](const httplib::Request&,
                                                   httplib::Response& res) {
            res.set_chunked_content_provider(
                "application/octet-stream", [this](std::size_t offset, httplib::DataSink& sink) {
                    if (offset >= m_payload.size()) {
                        sink.done();
                        return true;
                    }
                    const std::size_t n =
                        std::min<std::size_t>(64 * 1024, m_payload.size() - offset);
                    return sink.write(m_payload.data() + offset, n);
                });
        });
        m_server.Get(
            "/drophalf/Setup.run", [this](const httplib::Request&, httplib::Response& res) {
                res.set_content_provider(
                    m_payload.size(), "application/octet-stream",
                    [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                        if (offset >= m_payload.size() / 2)
                            return false;  // closes the connection
                        const std::size_t n = std::min<std::size_t>(length, 64 * 1024);
                        return sink.write(m_payload.data() + offset, n);
                    });
            });
        // The payload's first 2 MiB in 4 KiB blocks, 5 ms apart: several progress reports per
        // percent.
        m_server.Get("/paced/Setup.run", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                PacedSize(), "application/octet-stream",
                [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    const std::size_t n = std::min<std::size_t>(length, 4096);
                    return sink.write(m_payload.data() + offset, n);
                });
        });
        // 64 MiB announced, 16 KiB every 10 ms: runs far longer than any test waits.
        m_server.Get("/endless/Setup.run", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                64u * 1024 * 1024, "application/octet-stream",
                [this](std::size_t, std::size_t length, httplib::DataSink& sink) {
                    if (m_bStopping)
                        return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    const std::string block(std::min<std::size_t>(length, 16 * 1024), 'e');
                    return sink.write(block.data(), block.size());
                });
        });

        // The usage events: every posted form is kept, decoded, for the test to look at.
        m_server.Post("/v1/userop/add",
                      [this](const httplib::Request& req, httplib::Response& res) {
                          {
                              std::lock_guard lock(m_mutex);
                              httplib::Params form;
                              httplib::detail::parse_query_text(req.body, form);
                              m_events.push_back(form);
                          }
                          res.set_content("{\"code\":0}", "application/json");
                      });

        m_nPort = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }

    ~LoopbackServer()
    {
        m_bStopping = true;
        m_server.stop();
        m_thread.join();
    }

    std::string Url(const std::string& route) const
    {
        return "http://127.0.0.1:" + std::to_string(m_nPort) + "/" + route + "/Setup.run";
    }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_nPort); }
    const std::string& Payload() const { return m_payload; }
    std::size_t PacedSize() const
    {
        return std::min<std::size_t>(m_payload.size(), 2 * 1024 * 1024);
    }
    std::vector<httplib::Params> Events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    void ClearEvents()
    {
        std::lock_guard lock(m_mutex);
        m_events.clear();
    }
    int Port() const { return m_nPort; }

private:
    std::string m_payload;
    httplib::Server m_server;
    int m_nPort = -1;
    std::atomic<bool> m_bStopping{false};
    std::mutex m_mutex;
    std::vector<httplib::Params> m_events;
    std::thread m_thread;
};
