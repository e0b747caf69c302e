// Our own service client against the stand-in service: both sides of the signature meet.
#include <gtest/gtest.h>
#include <json/json.h>

#include <ctime>
#include <sstream>

#include "DevServiceProcess.h"
#include "ServiceClient.h"

namespace {

int CodeOf(const std::string& reply)
{
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(reply);
    if (!Json::parseFromStream(builder, in, &value, &errors) || !value["code"].isInt())
        return -1;
    return value["code"].asInt();
}

class ServiceClientAgainstDevService : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteFile(m_folder.File("setup.bin"), "payload"));
        std::string error;
        ASSERT_TRUE(m_service.Start(
            {"--payload", m_folder.File("setup.bin"), "--events", m_folder.File("events.jsonl")},
            error))
            << error;
        m_pClient =
            std::make_unique<ServiceClient>(VANTORA_APP_KEY, VANTORA_APP_SECRET, m_service.Url(""));
    }
    void TearDown() override { EXPECT_EQ(m_service.Stop(), 0); }

    TempFolder m_folder;
    DevServiceProcess m_service;
    std::unique_ptr<ServiceClient> m_pClient;
};

TEST_F(ServiceClientAgainstDevService, SignedRequestsAreAccepted)
{
    std::string reply = "left over";
    ASSERT_EQ(m_pClient->Call(reply, 3, u"v1/version/return_version", u""), 0);
    EXPECT_EQ(CodeOf(reply), 0) << reply;
    EXPECT_NE(reply.find(m_service.Url("/download/setup.bin")), std::string::npos) << reply;

    ASSERT_EQ(m_pClient->Call(reply, 3, u"v1/userop/add",
                              u"type=0&code=S2_d01&remark=mac=00-1A-2B-3C-4D-5E,channel=0"),
              0);
    EXPECT_EQ(CodeOf(reply), 0) << reply;
    // An adapter-less machine sends an empty address.
    ASSERT_EQ(
        m_pClient->Call(reply, 3, u"v1/userop/add", u"type=0&code=S2_d02&remark=mac=,channel=0"),
        0);
    EXPECT_EQ(CodeOf(reply), 0) << reply;

    const std::string events = ReadFile(m_folder.File("events.jsonl"));
    EXPECT_NE(events.find(R"("code":"S2_d01")"), std::string::npos) << events;
    EXPECT_NE(events.find(R"("remark":"mac=,channel=0")"), std::string::npos) << events;
    EXPECT_EQ(events.find(R"("signature_ok":false)"), std::string::npos) << events;
}

TEST_F(ServiceClientAgainstDevService, TamperedParameterIsRefused)
{
    std::string body = m_pClient->SignRequest(
        u"v1/userop/add", u"POST", u"type=0&code=S2_d01&remark=mac=00-1A-2B-3C-4D-5E,channel=0");
    const auto at = body.find("S2_d01");
    ASSERT_NE(at, std::string::npos) << body;
    EXPECT_EQ(CodeOf(Fetch(HttpRequest::Post(m_service.Url("/v1/userop/add"), body)).body), 0);
    body.replace(at, 6, "S2_d02");
    EXPECT_EQ(CodeOf(Fetch(HttpRequest::Post(m_service.Url("/v1/userop/add"), body)).body), 1002);
}

TEST_F(ServiceClientAgainstDevService, ClockTenMinutesOffIsRefused)
{
    for (const int offset : {-600, 600}) {
        SCOPED_TRACE(offset);
        m_pClient->SetClockForTesting([offset] { return std::time(nullptr) + offset; });
        std::string reply;
        ASSERT_EQ(m_pClient->Call(reply, 3, u"v1/version/return_version", u""), 0);
        EXPECT_EQ(CodeOf(reply), 1009) << reply;
    }
    m_pClient->SetClockForTesting({});
    std::string reply;
    ASSERT_EQ(m_pClient->Call(reply, 3, u"v1/version/return_version", u""), 0);
    EXPECT_EQ(CodeOf(reply), 0) << reply;
}

}  // namespace
