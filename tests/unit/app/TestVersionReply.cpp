#include <gtest/gtest.h>
#include <json/json.h>

#include "VersionReply.h"

namespace {

using namespace std::string_literals;

TEST(InstallerFileName, FollowsTheShellRule)
{
    struct Row
    {
        const char* address;
        const char* expected;
    };
    const Row rows[] = {
        {"http://h/a/b.exe", "b.exe"},
        {"http://h/a/", "a/"},
        {"http://h", "h"},
        {"", ""},
        {"inst.exe", "inst.exe"},
        {"http://h/x/inst.exe", "inst.exe"},
        {"http://h/down/setup_2.0.exe", "setup_2.0.exe"},
        {"http://h/a//", "a//"},
        {"http://h/a:b.exe", "b.exe"},
        {"C:\\dir\\f.exe", "f.exe"},
        {"http://h/x?file=a/b.exe", "b.exe"},
        {"/", "/"},
        {"a:", "a:"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.address);
        EXPECT_EQ(InstallerFileName(row.address), row.expected);
    }
}

TEST(ReadReplyCode, ReadsTheDescribedKindsAndRefusesTheRest)
{
    struct Row
    {
        const char* json;
        std::optional<std::uint32_t> expected;
    };
    const Row rows[] = {
        {"null", 0u},
        {"0", 0u},
        {"1009", 1009u},
        {"1009.7", 1009u},
        {"1009.0", 1009u},
        {"0.5", 0u},
        {"true", 1u},
        {"false", 0u},
        {"4294967295", 4294967295u},
        {"4294967295.5", 4294967295u},
        {"4294967296", std::nullopt},
        {"-1", std::nullopt},
        {"-0.5", std::nullopt},
        {"1e300", std::nullopt},
        {"\"1009\"", std::nullopt},
        {"[1009]", std::nullopt},
        {"{}", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        Json::Value value;
        std::istringstream in(row.json);
        in >> value;
        EXPECT_EQ(ReadReplyCode(value), row.expected);
    }
}

TEST(ParseVersionReply, SeparatesUsableRepliesFromBrokenOnes)
{
    struct Row
    {
        const char* name;
        std::string reply;
        bool wellFormed;
        std::uint32_t code;
        std::string url;
    };
    const std::string deep = std::string(50, '[') + std::string(50, ']');
    const Row rows[] = {
        {"empty reply", "", false, 0, ""},
        {"not JSON", "<html>502 Bad Gateway</html>", false, 0, ""},
        {"clock refused", R"({"code":1009})", true, 1009, ""},
        {"fraction counts as its integer", R"({"code":1009.7})", true, 1009, ""},
        {"address", R"({"code":0,"data":{"url":"http://h/x/inst.exe"}})", true, 0,
         "http://h/x/inst.exe"},
        {"comments allowed", "// current\n{\"code\":200 /* ok */, \"data\":{\"url\":\"u\"}}", true,
         200, "u"},
        {"no data", R"({"code":200})", true, 200, ""},
        {"empty object", "{}", true, 0, ""},
        {"empty data", R"({"data":{}})", true, 0, ""},
        {"null data and url", R"({"data":null})", true, 0, ""},
        {"null url", R"({"data":{"url":null}})", true, 0, ""},
        {"other members ignored", R"({"msg":"ok","data":{"url":"a","size":3},"x":[1,2]})", true, 0,
         "a"},
        {"null root", "null", true, 0, ""},
        {"UTF-8 address kept byte for byte",
         "{\"data\":{\"url\":\"http://h/\xe5\xae\x89\xe8\xa3\x85.exe\"}}", true, 0,
         "http://h/\xe5\xae\x89\xe8\xa3\x85.exe"},
        {"negative code", R"({"code":-1,"data":{"url":"a"}})", false, 0, ""},
        {"textual code", R"({"code":"1009"})", false, 0, ""},
        {"data is text", R"({"data":"http://h/a.exe"})", false, 0, ""},
        {"data is an array", R"({"data":["http://h/a.exe"]})", false, 0, ""},
        {"url is a number", R"({"data":{"url":5}})", false, 0, ""},
        {"url is an object", R"({"data":{"url":{}}})", false, 0, ""},
        {"root is an array", "[1,2]", false, 0, ""},
        {"root is a number", "1009", false, 0, ""},
        {"deep nesting", deep, false, 0, ""},
        {"deep nesting inside data", R"({"data":{"url":"a","x":)" + deep + "}}", false, 0, ""},
        {"NUL in the address", R"({"data":{"url":"http://h/a.exe\u0000.txt"}})", false, 0, ""},
        {"newline in the address", R"({"data":{"url":"http://h/a\n.exe"}})", false, 0, ""},
        {"DEL in the address", R"({"data":{"url":"http://h/a\u007f.exe"}})", false, 0, ""},
        {"C1 control in the address", R"({"data":{"url":"http://h/a\u0085.exe"}})", false, 0, ""},
        {"truncated reply keeps what was read", R"({"code":1009,"data":)", false, 1009, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const VersionReply reply = ParseVersionReply(row.reply);
        EXPECT_EQ(reply.wellFormed, row.wellFormed);
        EXPECT_EQ(reply.code, row.code);
        EXPECT_EQ(reply.url, row.url);
    }
}

}  // namespace
