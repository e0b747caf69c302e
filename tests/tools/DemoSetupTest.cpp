// The demo payload that stands in for the full installer: what it records of its launch.
#include <gtest/gtest.h>
#include <json/json.h>

#include <sstream>

#include "DevServiceProcess.h"

namespace {

std::vector<Json::Value> ReadRecords(const std::string& path)
{
    std::vector<Json::Value> records;
    std::istringstream lines(ReadFile(path));
    std::string line;
    Json::CharReaderBuilder builder;
    while (std::getline(lines, line)) {
        Json::Value record;
        std::string errors;
        std::istringstream in(line);
        EXPECT_TRUE(Json::parseFromStream(builder, in, &record, &errors)) << line;
        records.push_back(record);
    }
    return records;
}

TEST(DemoSetup, RecordsEachLaunchAsOneLineAndEndsByItself)
{
    TempFolder folder;
    const std::string record = folder.File("launches.jsonl");
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen",
                                          "VANTORA_DEMO_SETUP_RECORD=" + record,
                                          "VANTORA_DEMO_SETUP_EXIT_AFTER_MS=50"};
    // The argument as the installer passes it, then one with a space and Chinese text in the
    // folder; both must come back byte for byte, each launch appended as its own line.
    const std::vector<std::string> arguments = {"/opt/Vantora|online_install",
                                                "/home/u/我的 程序|online_install"};
    for (const std::string& argument : arguments) {
        SCOPED_TRACE(argument);
        EXPECT_EQ(RunProgram({VANTORA_DEMO_SETUP_BINARY, argument}, env, std::chrono::seconds(60)),
                  0);
    }

    const auto records = ReadRecords(record);
    ASSERT_EQ(records.size(), arguments.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Json::Value& argv = records[i]["argv"];
        ASSERT_EQ(argv.size(), 2u);
        EXPECT_EQ(argv[0].asString(), VANTORA_DEMO_SETUP_BINARY);
        EXPECT_EQ(argv[1].asString(), arguments[i]);
    }
}

}  // namespace
