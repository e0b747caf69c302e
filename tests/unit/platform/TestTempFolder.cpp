#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "Platform.h"

namespace {

// Sets TMPDIR (or removes it) for one scope and puts the old value back.
class ScopedTmpdir
{
public:
    explicit ScopedTmpdir(const std::optional<std::string>& value)
    {
        if (const char* old = getenv("TMPDIR"))
            m_old = old;
        if (value)
            setenv("TMPDIR", value->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    ~ScopedTmpdir()
    {
        if (m_old)
            setenv("TMPDIR", m_old->c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

private:
    std::optional<std::string> m_old;
};

TEST(TempFolder, FollowsTmpdirOnlyWhenItIsAnAbsoluteExistingDirectory)
{
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() / ("tf-" + std::to_string(getpid()));
    std::filesystem::create_directories(base / "sub");
    const std::string dir = (base / "sub").string();
    const std::string file = (base / "plain-file").string();
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }

    struct Row
    {
        const char* name;
        std::optional<std::string> tmpdir;
        std::string expected;
    };
    const Row rows[] = {
        {"unset", std::nullopt, "/tmp/"},
        {"empty", std::string(), "/tmp/"},
        {"existing directory", dir, dir + "/"},
        {"existing directory with slash", dir + "/", dir + "/"},
        {"missing directory", (base / "missing").string(), "/tmp/"},
        {"a file, not a directory", file, "/tmp/"},
        {"relative path", std::string("sub"), "/tmp/"},
        {"root", std::string("/"), "/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedTmpdir scoped(row.tmpdir);
        EXPECT_EQ(platform::TempFolder(), row.expected);
    }
    std::filesystem::remove_all(base);
}

}  // namespace
