// ServiceClient::Call against a real HTTP server on 127.0.0.1 in this process.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "ServiceClient.h"

namespace {

using namespace std::chrono_literals;

constexpr std::int32_t kShortLimit = 1;  // seconds, for the calls that are meant to wait
constexpr std::int32_t kLimit = 10;      // for the calls that are not

std::string Gzip(const std::string& plain)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::string out(deflateBound(&z, plain.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    z.avail_in = static_cast<uInt>(plain.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// What the server saw of the last POST; written on the server's threads.
struct SeenRequest
{
    std::string method;
    std::string path;
    std::string body;
    httplib::Headers headers;
};

class TransportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
            Responder respond;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_seen = SeenRequest{req.method, req.path, req.body, req.headers};
                ++m_hits;
                respond = m_respond;
            }
            if (respond) {
                respond(req, res);
            }
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // Stopping a server whose loop has not begun would leave the loop running: wait for it.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!m_server.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_TRUE(m_server.is_running());
    }

    void TearDown() override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_release = true;
        }
        m_released.notify_all();
        m_server.stop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    ServiceClient Client(std::string baseUrl = {})
    {
        ServiceClient client("KmsTzRbNyHqLfPx", "Tq4NfJw8RzKc2HbYm6PsVd3GxLe9UaZt",
                             baseUrl.empty() ? BaseUrl() : baseUrl);
        client.SetClockForTesting([] { return std::time_t{1420070400}; });
        return client;
    }

    using Responder = std::function<void(const httplib::Request&, httplib::Response&)>;

    // Replaces the answer to every POST; each request is recorded first.
    void OnPost(Responder respond)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_respond = std::move(respond);
    }

    SeenRequest Seen()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

    int Hits()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_hits;
    }

    // Blocks a server thread until the test ends (bounded, so a broken test cannot hang).
    void StallUntilTearDown()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_released.wait_for(lock, 30s, [this] { return m_release; });
    }

    httplib::Server m_server;
    int m_port = 0;

private:
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_release = false;
    SeenRequest m_seen;
    int m_hits = 0;
    Responder m_respond;
};

TEST_F(TransportTest, RequestOnTheWire)
{
    OnPost([](const httplib::Request&, httplib::Response& res) {
        res.set_content("{\"code\":0}", "application/octet-stream");
    });
    const struct
    {
        const char* name;
        std::u16string path;
        std::string wirePath;
        std::u16string params;
    } rows[] = {
        {"plain path", u"v1/userop/add", "/v1/userop/add",
         u"type=0&code=S2_d01&remark=mac=00-1A-2B-3C-4D-5E,channel=0"},
        {"leading slash kept as a double slash", u"/v1/userop/add", "//v1/userop/add", u"k=v"},
        {"no parameters", u"v1/version/return_version", "/v1/version/return_version", u""},
    };
    ServiceClient client = Client();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string reply;
        ASSERT_EQ(client.Call(reply, kLimit, row.path, row.params), CURLE_OK);
        EXPECT_EQ(reply, "{\"code\":0}");
        const SeenRequest seen = Seen();
        EXPECT_EQ(seen.method, "POST");
        EXPECT_EQ(seen.path, row.wirePath);
        const std::string body = client.SignRequest(row.path, u"POST", row.params);
        EXPECT_EQ(seen.body, body);
        auto header = [&seen](const char* name) {
            const auto it = seen.headers.find(name);
            return it == seen.headers.end() ? std::string("<none>") : it->second;
        };
        EXPECT_EQ(header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(header("Content-Length"), std::to_string(body.size()));
        EXPECT_EQ(header("Accept-Encoding"), "gzip");
        EXPECT_EQ(seen.headers.count("User-Agent"), 0u);
        EXPECT_EQ(seen.headers.count("Cookie"), 0u);
        EXPECT_EQ(seen.headers.count("Authorization"), 0u);
    }
}

TEST_F(TransportTest, OldReplyTextIsReplaced)
{
    OnPost([](const httplib::Request&, httplib::Response& res) {
        res.set_content("new", "application/octet-stream");
    });
    std::string reply = "old text that is longer than the new reply";
    ASSERT_EQ(Client().Call(reply, kLimit, u"v1/version/return_version", u""), CURLE_OK);
    EXPECT_EQ(reply, "new");
}

TEST_F(TransportTest, ErrorStatusIsDeliveredLikeAnyReply)
{
    const std::string html = "<html><body><h1>404 Not Found</h1></body></html>";
    OnPost([html](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content(html, "text/html");
    });
    std::string reply;
    EXPECT_EQ(Client().Call(reply, kLimit, u"v1/version/return_version", u""), CURLE_OK);
    EXPECT_EQ(reply, html);
}

TEST_F(TransportTest, RedirectIsNotFollowed)
{
    OnPost([this](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/moved") {
            res.status = 302;
            res.set_header("Location", BaseUrl() + "/target");
            res.set_content("moved", "application/octet-stream");
        } else {
            res.set_content("followed", "application/octet-stream");
        }
    });
    std::string reply;
    EXPECT_EQ(Client().Call(reply, kLimit, u"moved", u""), CURLE_OK);
    EXPECT_EQ(reply, "moved");
    EXPECT_EQ(Hits(), 1);
}

TEST_F(TransportTest, StallAfterHalfTheBodyTimesOutWithThatHalf)
{
    const std::string half(600, 'h');
    OnPost([this, half](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(half.size() * 2, "application/octet-stream",
                                 [this, half](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset == 0) {
                                         sink.write(half.data(), half.size());
                                     }
                                     StallUntilTearDown();
                                     return false;
                                 });
    });
    std::string reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Client().Call(reply, kShortLimit, u"v1/version/return_version", u""),
              CURLE_OPERATION_TIMEDOUT);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reply, half);
    EXPECT_GE(waited, 900ms);
    EXPECT_LT(waited, 5s);
}

TEST_F(TransportTest, GzipReplyArrivesDecoded)
{
    const std::string json = "{\"code\":0,\"data\":{\"url\":\"http://127.0.0.1/setup.bin\"}}";
    OnPost([json](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Encoding", "gzip");
        res.set_content(Gzip(json), "application/octet-stream");
    });
    std::string reply;
    ASSERT_EQ(Client().Call(reply, kLimit, u"v1/version/return_version", u""), CURLE_OK);
    EXPECT_EQ(reply, json);
}

// The cap counts delivered bytes: a small gzip body that unpacks past it is refused too.
TEST_F(TransportTest, ReplySizeIsCappedAtOneMebibyte)
{
    const struct
    {
        const char* name;
        std::size_t size;
        bool gzip;
        bool chunked;
        bool accepted;
    } rows[] = {
        {"exactly 1 MiB", ServiceClient::kMaxReplyBytes, false, false, true},
        {"1 MiB and one byte", ServiceClient::kMaxReplyBytes + 1, false, false, false},
        {"2 MiB", 2 * ServiceClient::kMaxReplyBytes, false, false, false},
        {"2 MiB without a length", 2 * ServiceClient::kMaxReplyBytes, false, true, false},
        {"2 MiB unpacked from a small gzip body", 2 * ServiceClient::kMaxReplyBytes, true, false,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto body = std::make_shared<const std::string>(row.size, 'x');
        OnPost([body, row](const httplib::Request&, httplib::Response& res) {
            if (row.chunked) {
                res.set_chunked_content_provider(
                    "application/octet-stream", [body](size_t offset, httplib::DataSink& sink) {
                        const size_t n = std::min<size_t>(64 * 1024, body->size() - offset);
                        sink.write(body->data() + offset, n);
                        if (offset + n == body->size()) {
                            sink.done();
                        }
                        return true;
                    });
            } else if (row.gzip) {
                res.set_header("Content-Encoding", "gzip");
                res.set_content(Gzip(*body), "application/octet-stream");
            } else {
                res.set_content(*body, "application/octet-stream");
            }
        });
        std::string reply = "stale";
        const int rc = Client().Call(reply, kLimit, u"v1/version/return_version", u"");
        if (row.accepted) {
            EXPECT_EQ(rc, CURLE_OK);
            EXPECT_EQ(reply.size(), row.size);
        } else {
            EXPECT_EQ(rc, CURLE_FILESIZE_EXCEEDED);
            EXPECT_EQ(reply, "");
        }
    }
}

// A port that is bound but never listens refuses connections, and no other test can take it.
TEST_F(TransportTest, UnusedPortFailsWithEmptyReply)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    std::string reply = "old";
    const int rc = Client(url).Call(reply, kShortLimit, u"v1/version/return_version", u"");
    close(fd);
    EXPECT_NE(rc, CURLE_OK);
    EXPECT_EQ(reply, "");
}

TEST_F(TransportTest, OnlyHttpIsSpoken)
{
    OnPost([](const httplib::Request&, httplib::Response& res) {
        res.set_content("reached", "application/octet-stream");
    });
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vantora-service-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "secret.json") << "{\"code\":0}";
    const std::string port = std::to_string(m_port);
    const struct
    {
        const char* name;
        std::string baseUrl;
    } rows[] = {
        {"file", "file://" + dir.string()},
        {"dict to the test server", "dict://127.0.0.1:" + port},
        {"ftp to the test server", "ftp://127.0.0.1:" + port},
        {"gopher to the test server", "gopher://127.0.0.1:" + port},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string reply = "old";
        EXPECT_EQ(Client(row.baseUrl).Call(reply, kShortLimit, u"secret.json", u""),
                  CURLE_UNSUPPORTED_PROTOCOL);
        EXPECT_EQ(reply, "");
    }
    std::filesystem::remove_all(dir);
    EXPECT_EQ(Hits(), 0);
}

// A limit libcurl cannot apply, or one that would mean "no limit", fails before connecting.
TEST_F(TransportTest, UnusableTimeoutFailsTheCall)
{
    OnPost([](const httplib::Request&, httplib::Response& res) {
        res.set_content("reached", "application/octet-stream");
    });
    for (const std::int32_t timeout : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(timeout);
        std::string reply = "old";
        EXPECT_EQ(Client().Call(reply, timeout, u"v1/version/return_version", u""),
                  CURLE_BAD_FUNCTION_ARGUMENT);
        EXPECT_EQ(reply, "");
    }
    EXPECT_EQ(Hits(), 0);
    std::string reply;
    EXPECT_EQ(Client().Call(reply, INT32_MAX, u"v1/version/return_version", u""), CURLE_OK);
    EXPECT_EQ(reply, "reached");
}

TEST(AppendToString, AppendsChunksInOrderAndTakesEveryByte)
{
    std::string target = "a";
    char chunk1[] = "bc";
    char chunk2[] = {'\0', 'd'};
    EXPECT_EQ(AppendToString(chunk1, 1, 2, &target), 2u);
    EXPECT_EQ(AppendToString(chunk2, 1, 0, &target), 0u);
    EXPECT_EQ(AppendToString(chunk2, 2, 1, &target), 2u);
    EXPECT_EQ(target, std::string("abc\0d", 5));
}

}  // namespace
