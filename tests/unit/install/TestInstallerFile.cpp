#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "CInstallerFile.h"

namespace {

// A private folder per test, removed with everything in it.
class InstallerFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/vantora-file-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        m_dir = templ;
    }
    void TearDown() override
    {
        for (const std::string& name : Entries())
            unlink((m_dir + "/" + name).c_str());
        rmdir(m_dir.c_str());
    }

    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        if (DIR* dir = opendir(m_dir.c_str())) {
            while (dirent* entry = readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..")
                    names.push_back(name);
            }
            closedir(dir);
        }
        return names;
    }

    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    std::string m_dir;
};

TEST_F(InstallerFileTest, NothingAppearsBeforeCommitAndThePathHoldsExactlyTheBytesAfter)
{
    const std::string path = m_dir + "/Setup.run";
    CInstallerFile file(path);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write("abc", 3));
    ASSERT_TRUE(file.Write("", 0));
    ASSERT_TRUE(file.Write("defg", 4));
    EXPECT_EQ(access(path.c_str(), F_OK), -1) << "the installer path appeared before the commit";
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(Read(path), "abcdefg");
    EXPECT_EQ(Entries(), std::vector<std::string>{"Setup.run"});

    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "owner-only and executable by its owner";
}

TEST_F(InstallerFileTest, DiscardedOrDestroyedFilesLeaveNothing)
{
    const std::string path = m_dir + "/Setup.run";
    {
        CInstallerFile file(path);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("partial", 7));
        file.Discard();
        EXPECT_FALSE(file.Commit());
    }
    {
        CInstallerFile file(path);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("partial", 7));
    }
    EXPECT_TRUE(Entries().empty());
}

TEST_F(InstallerFileTest, WhatSitsAtThePathIsReplacedNeverFollowed)
{
    const std::string victim = m_dir + "/victim";
    const std::string path = m_dir + "/Setup.run";
    {
        std::ofstream out(victim);
        out << "original";
    }
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);

    CInstallerFile file(path);
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(file.Write("payload", 7));
    ASSERT_TRUE(file.Commit());

    EXPECT_EQ(Read(victim), "original");
    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode)) << "the link was written through";
    EXPECT_EQ(Read(path), "payload");

    // An existing longer file is replaced whole, not overwritten in place.
    CInstallerFile second(path);
    ASSERT_TRUE(second.Open());
    ASSERT_TRUE(second.Write("xy", 2));
    ASSERT_TRUE(second.Commit());
    EXPECT_EQ(Read(path), "xy");
}

TEST_F(InstallerFileTest, FoldersThatCannotTakeTheFileFailToOpen)
{
    const std::string notAFolder = m_dir + "/plain";
    {
        std::ofstream out(notAFolder);
        out << "x";
    }
    for (const std::string& path :
         {m_dir + "/missing/Setup.run", notAFolder + "/Setup.run", m_dir + "/", std::string()}) {
        SCOPED_TRACE(path);
        CInstallerFile file(path);
        EXPECT_FALSE(file.Open());
        EXPECT_FALSE(file.Write("x", 1));
        EXPECT_FALSE(file.Commit());
    }
}

TEST_F(InstallerFileTest, AShortWriteFailsAndCannotBeCommitted)
{
    // A file-size limit makes the kernel refuse the write, as a full disk would.
    const std::string path = m_dir + "/Setup.run";
    CInstallerFile file(path);
    ASSERT_TRUE(file.Open());
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string block(8192, 'z');
    const bool written = file.Write(block.data(), block.size());
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_FALSE(file.Commit());
    EXPECT_TRUE(Entries().empty());
}

}  // namespace
