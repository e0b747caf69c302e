#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "Platform.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder per test, removed afterwards.
class LaunchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() /
                ("launch-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path WriteFile(const std::string& name, const std::string& content, fs::perms perms)
    {
        const fs::path path = m_dir / name;
        std::ofstream(path) << content;
        fs::permissions(path, perms);
        return path;
    }

    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The launched process runs on by itself; wait (bounded) until it has written its record.
    bool WaitForFile(const fs::path& path)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(path)) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    fs::path m_dir;
};

// Records its arguments, its process and session ids and the targets of its open descriptors.
const char* const kRecorder = R"(#!/bin/sh
dir=$(dirname "$0")
for a in "$0" "$@"; do printf '%s\n' "$a"; done > "$dir/args.tmp"
awk '{print $6}' /proc/$$/stat > "$dir/sid.tmp"
echo $$ > "$dir/pid.tmp"
for f in /proc/$$/fd/*; do readlink "$f"; done > "$dir/fds.tmp"
for n in args sid pid fds; do mv "$dir/$n.tmp" "$dir/$n"; done
touch "$dir/done"
)";

TEST_F(LaunchTest, StartsTheProgramWithItsArgumentsInANewSessionWithoutOurDescriptors)
{
    // Saved without the execute bit, as a download arrives.
    const fs::path script =
        WriteFile("setup program.sh", kRecorder, fs::perms::owner_read | fs::perms::owner_write);

    // A descriptor deliberately left inheritable: the launched program must not get it.
    const fs::path marker = m_dir / "inherited-marker";
    const int leaked = open(marker.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(leaked, 0);

    const std::string folderArg = "/opt/My Apps/Vantora|online_install";
    ASSERT_TRUE(platform::LaunchDetached(script.string(), {folderArg}));
    close(leaked);
    ASSERT_TRUE(WaitForFile(m_dir / "done"));

    EXPECT_EQ(Read(m_dir / "args"), script.string() + "\n" + folderArg + "\n");
    EXPECT_EQ(Read(m_dir / "sid"), Read(m_dir / "pid")) << "not the leader of a session of its own";
    EXPECT_NE(Read(m_dir / "sid"), std::to_string(getsid(0)) + "\n");
    const std::string fds = Read(m_dir / "fds");
    EXPECT_EQ(fds.find("inherited-marker"), std::string::npos) << fds;
    EXPECT_TRUE((fs::status(script).permissions() & fs::perms::owner_exec) != fs::perms::none);
}

TEST_F(LaunchTest, ReportsFailureWhenNothingCanBeStarted)
{
    const fs::path garbage =
        WriteFile("garbage.bin", std::string("\x01\x02 not a program", 17), fs::perms::owner_all);
    const fs::path noInterpreter =
        WriteFile("broken.sh", "#!/no/such/interpreter\n", fs::perms::owner_all);
    fs::create_directories(m_dir / "a-folder");

    struct Row
    {
        const char* name;
        std::string path;
    };
    const Row rows[] = {
        {"empty path", ""},
        {"missing file", (m_dir / "missing.sh").string()},
        {"a directory", (m_dir / "a-folder").string()},
        {"not a program", garbage.string()},
        {"interpreter missing", noInterpreter.string()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(platform::LaunchDetached(row.path, {"x|online_install"}));
    }
}

}  // namespace
