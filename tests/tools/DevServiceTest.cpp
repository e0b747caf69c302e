// The stand-in web service, run as the real binary on a free loopback port.
#include <gtest/gtest.h>
#include <json/json.h>

#include <condition_variable>
#include <ctime>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "DevServiceProcess.h"

namespace {

const std::string kAppKey = VANTORA_APP_KEY;
const std::string kAppSecret = VANTORA_APP_SECRET;
const std::string kVersionPath = "v1/version/return_version";
const std::string kEventPath = "v1/userop/add";

bool ParseJson(const std::string& text, Json::Value& value)
{
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(text);
    return Json::parseFromStream(builder, in, &value, &errors);
}

std::vector<Json::Value> ReadEvents(const std::string& path)
{
    std::vector<Json::Value> events;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        Json::Value event;
        if (ParseJson(line, event))
            events.push_back(event);
    }
    return events;
}

std::map<std::string, std::string> Table(const std::map<std::string, std::string>& caller,
                                         std::int64_t stamp)
{
    auto table = caller;
    table["app_key"] = kAppKey;
    table["time_stamp"] = std::to_string(stamp);
    return table;
}

// Posts a body to an API path and returns the answer's "code", or -1 when none could be read.
int AnswerCode(const DevServiceProcess& service, const std::string& urlPath,
               const std::string& body)
{
    const HttpResult result = Fetch(HttpRequest::Post(service.Url(urlPath), body));
    Json::Value reply;
    if (result.curlCode != 0 || !ParseJson(result.body, reply) || !reply["code"].isInt())
        return -1;
    return reply["code"].asInt();
}

// A service with a payload, its events file, and a fresh temporary folder.
class DevServiceTest : public ::testing::Test
{
protected:
    void StartWith(const std::vector<std::string>& extra)
    {
        ASSERT_FALSE(m_folder.Path().empty());
        ASSERT_TRUE(WriteFile(m_folder.File("setup.bin"), m_strPayload));
        std::vector<std::string> arguments = {"--payload", m_folder.File("setup.bin"), "--events",
                                              EventsPath()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(m_service.Start(arguments, error)) << error;
    }
    void TearDown() override
    {
        // A clean stop on SIGTERM, and no sanitizer report in the child, which would end it
        // with another code.
        EXPECT_EQ(m_service.Stop(), 0);
    }
    std::string EventsPath() const { return m_folder.File("events.jsonl"); }

    // An odd size, so that "half" is not a round number.
    const std::string m_strPayload = RandomBytes(300001, 7);
    TempFolder m_folder;
    DevServiceProcess m_service;
};

TEST_F(DevServiceTest, ListensOnLoopbackOnly)
{
    StartWith({});
    // Every listening socket on our port, in both address families, is bound to 127.0.0.1.
    char portHex[8];
    std::snprintf(portHex, sizeof portHex, "%04X", m_service.Port());
    int listening = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);  // header
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state != "0A" || local.substr(local.find(':') + 1) != portHex)
                continue;
            ++listening;
            EXPECT_EQ(local, std::string("0100007F:") + portHex) << table;
        }
    }
    EXPECT_EQ(listening, 1);
}

TEST_F(DevServiceTest, ASecondServiceCannotShareItsPort)
{
    // Two services on one port would split the requests between them without a word.
    StartWith({});
    DevServiceProcess second;
    std::string error;
    EXPECT_FALSE(second.Start({"--port", std::to_string(m_service.Port())}, error));
    EXPECT_NE(error.find("ended before it listened"), std::string::npos) << error;
}

TEST_F(DevServiceTest, ChecksAppKeySignatureAndTimeStamp)
{
    StartWith({});
    const std::int64_t now = std::time(nullptr);
    const std::map<std::string, std::string> event = {
        {"type", "0"}, {"code", "S2_d01"}, {"remark", "mac=00-1A-2B-3C-4D-5E,channel=0"}};
    auto sign = [](const std::string& path, const std::map<std::string, std::string>& table) {
        return SignedBody(path, "POST", table, kAppSecret);
    };
    auto replace = [](std::string text, const std::string& from, const std::string& to) {
        const auto at = text.find(from);
        return at == std::string::npos ? std::string() : text.replace(at, from.size(), to);
    };

    struct Case
    {
        const char* name;
        std::string urlPath;
        std::string body;
        int code;
    };
    auto withOtherKey = Table(event, now);
    withOtherKey["app_key"] = "SomeoneElsesKey";
    auto withTextStamp = Table(event, now);
    withTextStamp["time_stamp"] = "yesterday";
    const std::vector<Case> cases = {
        {"version query without parameters", "/" + kVersionPath, sign(kVersionPath, Table({}, now)),
         0},
        {"event whose value holds = and ,", "/" + kEventPath, sign(kEventPath, Table(event, now)),
         0},
        {"keys that sort byte-wise", "/" + kEventPath,
         sign(kEventPath, Table({{"B", "1"}, {"a", "(2)"}, {"ab", "x y~"}}, now)), 0},
        // The signature holds (not 1002); "/v1/..." is just not an API path of ours.
        {"path signed with its leading slash", "//" + kVersionPath,
         sign("/" + kVersionPath, Table({}, now)), 1004},
        {"clock four minutes behind", "/" + kEventPath, sign(kEventPath, Table(event, now - 240)),
         0},
        {"value changed after signing", "/" + kEventPath,
         replace(sign(kEventPath, Table(event, now)), "S2_d01", "S2_d02"), 1002},
        {"parameter added after signing", "/" + kEventPath,
         sign(kEventPath, Table(event, now)) + "&channel=1", 1002},
        {"signature left out", "/" + kEventPath,
         replace(sign(kEventPath, Table(event, now)), "&sign=", "&sigh="), 1002},
        {"signed for another path", "/" + kEventPath, sign(kVersionPath, Table(event, now)), 1002},
        {"signed as GET", "/" + kEventPath,
         SignedBody(kEventPath, "GET", Table(event, now), kAppSecret), 1002},
        {"signed with another secret", "/" + kEventPath,
         SignedBody(kEventPath, "POST", Table(event, now), "not-the-secret"), 1002},
        {"unknown app_key", "/" + kEventPath, sign(kEventPath, withOtherKey), 1001},
        {"clock ten minutes behind", "/" + kVersionPath, sign(kVersionPath, Table({}, now - 600)),
         1009},
        {"clock ten minutes ahead", "/" + kEventPath, sign(kEventPath, Table(event, now + 600)),
         1009},
        {"time stamp that is not a number", "/" + kEventPath, sign(kEventPath, withTextStamp),
         1009},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.body.empty());
        EXPECT_EQ(AnswerCode(m_service, c.urlPath, c.body), c.code) << c.body;
    }
}

TEST_F(DevServiceTest, VersionReplyNamesThePayloadItServes)
{
    StartWith({"--payload-name", "vantora_setup_2.0.bin"});
    const HttpResult result = Fetch(HttpRequest::Post(
        m_service.Url("/" + kVersionPath),
        SignedBody(kVersionPath, "POST", Table({}, std::time(nullptr)), kAppSecret)));
    ASSERT_EQ(result.curlCode, 0);
    Json::Value reply;
    ASSERT_TRUE(ParseJson(result.body, reply)) << result.body;
    EXPECT_EQ(reply["code"].asInt(), 0);
    const std::string url = reply["data"]["url"].asString();
    EXPECT_EQ(url, m_service.Url("/download/vantora_setup_2.0.bin"));
    EXPECT_EQ(reply["data"]["size"].asUInt64(), m_strPayload.size());
    EXPECT_EQ(reply["data"]["sha256"].asString(), Sha256Hex(m_strPayload));

    const HttpResult download = Fetch(HttpRequest::Get(url));
    EXPECT_EQ(download.status, 200);
    EXPECT_TRUE(download.body == m_strPayload);
    EXPECT_EQ(Fetch(HttpRequest::Get(m_service.Url("/download/setup.bin"))).status, 404);
}

TEST_F(DevServiceTest, RecordsEveryEventAsOneLine)
{
    ASSERT_TRUE(WriteFile(EventsPath(), "{\"earlier\":true}\n"));
    StartWith({});
    const std::int64_t now = std::time(nullptr);
    const std::string good = SignedBody(
        kEventPath, "POST",
        Table({{"type", "0"}, {"code", "S2_d01"}, {"remark", "mac=00-1A-2B-3C-4D-5E,channel=0"}},
              now),
        kAppSecret);
    std::string forged =
        SignedBody(kEventPath, "POST",
                   Table({{"type", "0"}, {"code", "S2_d02"}, {"remark", "mac=,channel=0"}}, now),
                   "not-the-secret");
    ASSERT_EQ(AnswerCode(m_service, "/" + kEventPath, good), 0);
    ASSERT_EQ(AnswerCode(m_service, "/" + kEventPath, forged), 1002);

    // The file is appended to and flushed per event: both are there while the service runs.
    const auto events = ReadEvents(EventsPath());
    ASSERT_EQ(events.size(), 3u);
    EXPECT_TRUE(events[0]["earlier"].asBool());
    EXPECT_EQ(events[1]["code"].asString(), "S2_d01");
    EXPECT_EQ(events[1]["remark"].asString(), "mac=00-1A-2B-3C-4D-5E,channel=0");
    EXPECT_EQ(events[1]["type"].asString(), "0");
    EXPECT_TRUE(events[1]["signature_ok"].asBool());
    EXPECT_EQ(events[1]["answer"].asInt(), 0);
    EXPECT_LE(std::abs(events[1]["time"].asInt64() - now), 60);
    EXPECT_EQ(events[2]["code"].asString(), "S2_d02");
    EXPECT_EQ(events[2]["remark"].asString(), "mac=,channel=0");
    EXPECT_FALSE(events[2]["signature_ok"].asBool());
    EXPECT_EQ(events[2]["answer"].asInt(), 1002);
}

// One service per switch: each row starts its own process with the option under test.
TEST(DevServiceSwitches, VersionModes)
{
    struct Row
    {
        const char* mode;
        std::chrono::milliseconds clientLimit;
        std::function<void(const HttpResult&, const std::string& payloadUrl)> check;
    };
    auto json = [](const HttpResult& result) {
        Json::Value value;
        EXPECT_TRUE(ParseJson(result.body, value)) << result.body;
        return value;
    };
    const std::vector<Row> rows = {
        {"ok", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string& url) {
             EXPECT_EQ(r.status, 200);
             const Json::Value reply = json(r);
             EXPECT_EQ(reply["code"], 0);
             EXPECT_EQ(reply["data"]["url"].asString(), url);
         }},
        {"clock", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string&) {
             const Json::Value reply = json(r);
             EXPECT_EQ(reply["code"], 1009);
             EXPECT_TRUE(reply["msg"].isString());
         }},
        {"empty", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string&) {
             EXPECT_EQ(r.status, 200);
             EXPECT_EQ(r.body, "");
         }},
        {"not-json", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string&) {
             EXPECT_EQ(r.status, 200);
             Json::Value ignored;
             EXPECT_FALSE(r.body.empty());
             EXPECT_FALSE(ParseJson(r.body, ignored)) << r.body;
         }},
        {"html-404", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string&) {
             EXPECT_EQ(r.status, 404);
             EXPECT_NE(r.body.find("<html>"), std::string::npos) << r.body;
         }},
        {"no-data", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string&) {
             const Json::Value reply = json(r);
             EXPECT_EQ(reply["code"], 0);
             EXPECT_FALSE(reply.isMember("data"));
         }},
        {"wrong-types", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string&) {
             const Json::Value reply = json(r);
             EXPECT_TRUE(reply["code"].isString());
             EXPECT_FALSE(reply["data"].isObject());
             EXPECT_FALSE(reply["data"].isNull());
         }},
        // A client with the installer's 3 s limit gives up; a patient one gets the answer late.
        {"slow", std::chrono::seconds(3),
         [&](const HttpResult& r, const std::string&) {
             EXPECT_EQ(r.curlCode, 28 /* CURLE_OPERATION_TIMEDOUT */);
             EXPECT_EQ(r.body, "");
         }},
        {"slow", std::chrono::seconds(30),
         [&](const HttpResult& r, const std::string& url) {
             EXPECT_EQ(r.curlCode, 0);
             EXPECT_EQ(json(r)["data"]["url"].asString(), url);
             ASSERT_FALSE(r.chunkTimes.empty());
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("--version-mode ") + row.mode);
        TempFolder folder;
        ASSERT_TRUE(WriteFile(folder.File("p.bin"), "payload"));
        DevServiceProcess service;
        std::string error;
        ASSERT_TRUE(
            service.Start({"--payload", folder.File("p.bin"), "--version-mode", row.mode}, error))
            << error;
        const auto started = std::chrono::steady_clock::now();
        const HttpResult result =
            Fetch(HttpRequest::Post(
                      service.Url("/" + kVersionPath),
                      SignedBody(kVersionPath, "POST", Table({}, std::time(nullptr)), kAppSecret))
                      .Timeout(row.clientLimit));
        if (std::string(row.mode) == "slow" && result.curlCode == 0) {
            EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(4900));
        }
        row.check(result, service.Url("/download/p.bin"));
        // A stop while the slow answer is still pending must not wait for it.
        EXPECT_EQ(service.Stop(std::chrono::seconds(4)), 0);
    }
}

TEST(DevServiceSwitches, DownloadModes)
{
    const std::string payload = RandomBytes(300001, 11);
    struct Row
    {
        const char* name;
        const char* mode;
        std::string range;
        bool follow;
        std::function<void(const HttpResult&)> check;
    };
    const std::vector<Row> rows = {
        {"ok: whole file with its length", "ok", "", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.status, 200);
             EXPECT_EQ(r.headers.count("content-length") ? r.headers.at("content-length") : "",
                       std::to_string(payload.size()));
             EXPECT_TRUE(r.body == payload);
         }},
        {"ok: a range", "ok", "100000-100099", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.status, 206);
             EXPECT_EQ(r.headers.count("content-range") ? r.headers.at("content-range") : "",
                       "bytes 100000-100099/300001");
             EXPECT_TRUE(r.body == payload.substr(100000, 100));
         }},
        {"ok: an open range", "ok", "300000-", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.status, 206);
             EXPECT_TRUE(r.body == payload.substr(300000));
         }},
        {"404", "404", "", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.status, 404);
             EXPECT_TRUE(r.body.find(payload.substr(0, 16)) == std::string::npos);
         }},
        {"302: a redirect", "302", "", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.status, 302);
             EXPECT_EQ(r.headers.count("location") ? r.headers.at("location") : "", "/moved/p.bin");
             EXPECT_FALSE(r.body == payload);
         }},
        {"302: the target serves the file", "302", "", true,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.status, 200);
             EXPECT_TRUE(r.body == payload);
         }},
        {"no-length: chunked", "no-length", "", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.curlCode, 0);
             EXPECT_EQ(r.status, 200);
             EXPECT_EQ(r.headers.count("content-length"), 0u);
             EXPECT_EQ(
                 r.headers.count("transfer-encoding") ? r.headers.at("transfer-encoding") : "",
                 "chunked");
             EXPECT_TRUE(r.body == payload);
         }},
        {"drop-half: full length announced, half sent", "drop-half", "", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.curlCode, 18 /* CURLE_PARTIAL_FILE */);
             EXPECT_EQ(r.headers.count("content-length") ? r.headers.at("content-length") : "",
                       std::to_string(payload.size()));
             EXPECT_EQ(r.body.size(), payload.size() / 2);
             EXPECT_TRUE(r.body == payload.substr(0, payload.size() / 2));
         }},
        {"slow: trickles, then completes", "slow", "", false,
         [&](const HttpResult& r) {
             EXPECT_EQ(r.curlCode, 0);
             EXPECT_TRUE(r.body == payload);
             ASSERT_GE(r.chunkTimes.size(), 50u);
             EXPECT_GE(r.chunkTimes.back() - r.chunkTimes.front(), std::chrono::seconds(4));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        ASSERT_TRUE(WriteFile(folder.File("p.bin"), payload));
        DevServiceProcess service;
        std::string error;
        ASSERT_TRUE(
            service.Start({"--payload", folder.File("p.bin"), "--download-mode", row.mode}, error))
            << error;
        HttpRequest request = HttpRequest::Get(service.Url("/download/p.bin")).Range(row.range);
        if (row.follow)
            request.FollowRedirects();
        row.check(Fetch(request));
        EXPECT_EQ(service.Stop(), 0);
    }
}

// SIGTERM in the middle of a slow transfer ends the service at once and cleanly.
TEST(DevServiceStop, EndsPromptlyDuringASlowDownload)
{
    TempFolder folder;
    ASSERT_TRUE(WriteFile(folder.File("p.bin"), RandomBytes(200000, 3)));
    DevServiceProcess service;
    std::string error;
    ASSERT_TRUE(
        service.Start({"--payload", folder.File("p.bin"), "--download-mode", "slow"}, error))
        << error;

    std::promise<void> firstBytes;
    auto transfer = std::async(std::launch::async, [&service, &firstBytes] {
        bool told = false;
        return Fetch(HttpRequest::Get(service.Url("/download/p.bin")).OnData([&](std::size_t) {
            if (!told)
                firstBytes.set_value();
            told = true;
        }));
    });
    ASSERT_EQ(firstBytes.get_future().wait_for(std::chrono::seconds(20)),
              std::future_status::ready);

    const auto stopping = std::chrono::steady_clock::now();
    EXPECT_EQ(service.Stop(std::chrono::seconds(4)), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, std::chrono::seconds(4));
    ASSERT_EQ(transfer.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const HttpResult cut = transfer.get();
    EXPECT_NE(cut.curlCode, 0);
    EXPECT_LT(cut.body.size(), 200000u);
}

TEST(DevServiceOptions, RefusesBadArguments)
{
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--version-mode", "sometimes"},
                                               {"--download-mode", "500"},
                                               {"--payload", "/nonexistent/setup.bin"},
                                               {"--frobnicate", "1"}}) {
        SCOPED_TRACE(arguments[0] + " " + arguments[1]);
        DevServiceProcess service;
        std::string error;
        EXPECT_FALSE(service.Start(arguments, error));
        EXPECT_NE(error.find("ended before it listened"), std::string::npos) << error;
    }
}

}  // namespace
