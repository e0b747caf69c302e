// The real installer under Xvfb, driven with xdotool, against the stand-in service on the
// installer's compiled-in address, with the demo payload standing in for the full installer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "E2eProcess.h"
#include "MachineIdentity.h"
#include "TextConversion.h"

namespace {

int g_nServicePort = 18765;  // the port of the installer's compiled-in service address
const char* const kPayloadName = "vantora-demo-setup";

std::string g_installer, g_service, g_payload;

// Nobody listens on the port. (A connection attempt tells; a trial bind would not, since the
// service's sockets share their port with later binds.)
bool PortFree(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool listening = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return !listening;
}

struct Event
{
    std::string code;
    std::string remark;
    bool signatureValid = false;
};

class InstallFlow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const std::string& binary : {g_installer, g_service, g_payload}) {
            if (binary.empty() || access(binary.c_str(), X_OK) != 0)
                GTEST_SKIP() << "not built: " << binary;
        }
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display: run under xvfb-run";
        if (!PortFree(g_nServicePort))
            GTEST_SKIP() << "port " << g_nServicePort
                         << " is busy: the installer's compiled-in service address cannot be "
                            "served by the stand-in service here";
        char templ[] = "/tmp/vantora-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        m_dir = templ;
        m_tmp = m_dir + "/tmp";
        ASSERT_EQ(mkdir(m_tmp.c_str(), 0700), 0);
        m_runtime = m_dir + "/runtime";
        ASSERT_EQ(mkdir(m_runtime.c_str(), 0700), 0);
        m_events = m_dir + "/events.log";
        m_record = m_dir + "/payload-argv.txt";
    }

    void TearDown() override
    {
        m_installer.Stop();
        m_service.Stop();
        // A launched payload runs on by itself for a moment; it ends on its own timer and
        // would recreate its runtime folder, so the folder goes only after it.
        e2e::WaitFor([&] { return !PayloadRunning(); }, 5000);
        if (!m_dir.empty()) {
            chmod(m_tmp.c_str(), 0700);
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }

    std::string InstallerPath(const std::string& tmp) const { return tmp + "/" + kPayloadName; }

    void StartService(const std::string& mode)
    {
        const std::string log = m_dir + "/service.log";
        ASSERT_TRUE(
            m_service.Start({g_service, "--port", std::to_string(g_nServicePort), "--payload",
                             g_payload, "--events", m_events, "--download-mode", mode},
                            {}, log));
        const bool listening = e2e::WaitFor(
            [&] {
                return e2e::ReadFile(log).find("listening on 127.0.0.1:") != std::string::npos ||
                       m_service.WaitExit(0).has_value();
            },
            10000);
        ASSERT_TRUE(listening) << e2e::ReadFile(log);
        if (m_service.WaitExit(0).has_value())
            GTEST_SKIP() << "the stand-in service could not take port " << g_nServicePort
                         << " (another run holds it): " << e2e::ReadFile(log);
    }

    // Starts the installer with TMPDIR at `tmp` and waits for its window.
    // The service in `mode`, then the installer with TMPDIR `tmp`; false when the test is
    // skipped (port taken) or either did not start.
    bool StartServiceAndInstaller(const std::string& mode, const std::string& tmp)
    {
        StartService(mode);
        if (IsSkipped() || HasFatalFailure())
            return false;
        StartInstaller(tmp);
        return !HasFatalFailure();
    }
    void StartInstaller(const std::string& tmp)
    {
        ASSERT_TRUE(m_installer.Start({g_installer},
                                      {{"TMPDIR", tmp},
                                       // Qt's own runtime folder stays out of the temp folder.
                                       {"XDG_RUNTIME_DIR", m_runtime},
                                       {"QT_QPA_PLATFORM", "xcb"},
                                       {"VANTORA_DEMO_SETUP_RECORD", m_record},
                                       {"VANTORA_DEMO_SETUP_EXIT_AFTER_MS", "300"}},
                                      m_dir + "/installer.log"));
        ASSERT_TRUE(e2e::WaitFor(
            [&] {
                for (const std::string& w : e2e::WindowsOf(m_installer.Pid())) {
                    const e2e::Geometry g = e2e::GeometryOf(w);
                    if (g.width >= 400 && g.height >= 300) {
                        m_window = w;
                        m_origin = g;
                        return true;
                    }
                }
                return false;
            },
            15000))
            << "no installer window; log: " << e2e::ReadFile(m_dir + "/installer.log");
    }

    void ClickWindow(int x, int y) { e2e::Click(m_origin.x + x, m_origin.y + y); }

    // The install button: centred, on the row at 4 * B - 30 = 254 (W = 479).
    void ClickInstall() { ClickWindow(479 / 2, 254 + 8); }
    // The agreement box at (30, H - 25 = 334).
    void ClickAgreement() { ClickWindow(30 + 5, 334 + 5); }

    // The licence link is the only text in RGB(93, 182, 234): found on a screenshot of its row.
    void ClickLicenceLink()
    {
        const int top = 330, rows = 24;
        const std::string crop = std::to_string(m_origin.width) + "x" + std::to_string(rows) + "+" +
                                 std::to_string(m_origin.x) + "+" +
                                 std::to_string(m_origin.y + top);
        const std::string pixels = e2e::Capture(
            {"import", "-silent", "-window", "root", "-crop", crop, "-depth", "8", "rgb:-"});
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(m_origin.width * rows * 3));
        int minX = m_origin.width, maxX = -1, sumY = 0, count = 0;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < m_origin.width; ++x) {
                const auto* p = reinterpret_cast<const unsigned char*>(pixels.data()) +
                                (y * m_origin.width + x) * 3;
                if (std::abs(p[0] - 93) < 24 && std::abs(p[1] - 182) < 24 &&
                    std::abs(p[2] - 234) < 24) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    sumY += y;
                    ++count;
                }
            }
        }
        ASSERT_GT(count, 0) << "the licence link is not on screen";
        ClickWindow((minX + maxX) / 2, top + sumY / count);
    }

    // A visible window of the installer besides its main window.
    std::string OtherWindow() const
    {
        for (const std::string& w : e2e::WindowsOf(m_installer.Pid()))
            if (w != m_window)
                return w;
        return {};
    }

    // Answers the next `count` boxes with Enter, returning their titles in order.
    std::vector<std::string> AnswerBoxes(int count)
    {
        std::vector<std::string> titles;
        for (int i = 0; i < count; ++i) {
            std::string box;
            if (!e2e::WaitFor([&] { return !(box = OtherWindow()).empty(); }, 20000))
                break;
            titles.push_back(e2e::TitleOf(box));
            e2e::PressEnter(box);
            e2e::WaitFor([&] { return OtherWindow() != box; }, 5000);
        }
        return titles;
    }

    // Exit status 0 within `ms`.
    void ExpectCleanExit(int ms)
    {
        const auto status = m_installer.WaitExit(ms);
        ASSERT_TRUE(status.has_value()) << "the installer did not end";
        ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
        EXPECT_EQ(WEXITSTATUS(*status), 0);
    }

    std::vector<std::string> PayloadArgv() const;
    std::vector<Event> Events() const;

    std::string Address() const { return WideToUtf8(GetMacAddress()); }

    // A process started from this test's folder (the launched payload) still runs.
    bool PayloadRunning() const
    {
        if (m_dir.empty())
            return false;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string argv0 = e2e::ReadFile(entry.path().string() + "/cmdline");
            if (argv0.rfind(m_dir + "/", 0) == 0)
                return true;
        }
        return false;
    }

    // Names in the temp folder, for messages.
    std::string Listing() const
    {
        std::string names;
        for (const auto& entry : std::filesystem::directory_iterator(m_tmp))
            names += " " + entry.path().filename().string();
        return names;
    }

    std::string m_dir, m_tmp, m_runtime, m_events, m_record;
    e2e::Process m_service, m_installer;
    std::string m_window;
    e2e::Geometry m_origin;
};

std::vector<Event> InstallFlow::Events() const
{
    // One JSON object per line: {"code":"S2_d01","remark":"mac=...","signature_ok":true,...}
    std::vector<Event> events;
    for (const std::string& line : e2e::Lines(e2e::ReadFile(m_events))) {
        const QJsonObject object =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        Event e;
        e.code = object.value("code").toString().toStdString();
        e.remark = object.value("remark").toString().toStdString();
        e.signatureValid = object.value("signature_ok").toBool(false);
        events.push_back(e);
    }
    return events;
}

std::vector<std::string> InstallFlow::PayloadArgv() const
{
    // The payload appends {"argv":[...]} per start.
    std::vector<std::string> argv;
    const std::vector<std::string> lines = e2e::Lines(e2e::ReadFile(m_record));
    if (lines.empty())
        return argv;
    if (lines.size() > 1)
        argv.push_back("<started " + std::to_string(lines.size()) + " times>");
    for (const QJsonValue& value : QJsonDocument::fromJson(QByteArray::fromStdString(lines.back()))
                                       .object()
                                       .value("argv")
                                       .toArray())
        argv.push_back(value.toString().toStdString());
    return argv;
}

// Every run of the installer must leave the same trace at the service: its events, in order.
void ExpectEvents(const std::vector<Event>& events, const std::vector<std::string>& codes,
                  const std::string& address)
{
    ASSERT_EQ(events.size(), codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
        SCOPED_TRACE(codes[i]);
        EXPECT_EQ(events[i].code, codes[i]);
        EXPECT_EQ(events[i].remark, "mac=" + address + ",channel=0");
        EXPECT_TRUE(events[i].signatureValid);
    }
}

TEST_F(InstallFlow, FullInstallationLaunchesThePayloadWithTheFolder)
{
    if (!StartServiceAndInstaller("slow", m_tmp))
        return;
    const std::string barArea =
        "410x10+" + std::to_string(m_origin.x + 34) + "+" + std::to_string(m_origin.y + 284);
    auto bar = [&] {
        return e2e::Capture(
            {"import", "-silent", "-window", "root", "-crop", barArea, "-depth", "8", "rgb:-"});
    };
    ClickInstall();
    const std::string early = bar();
    EXPECT_TRUE(e2e::WaitFor([&] { return bar() != early; }, 8000)) << "the bar did not move";

    ASSERT_TRUE(e2e::WaitFor([&] { return PayloadArgv().size() >= 2; }, 20000))
        << e2e::ReadFile(m_dir + "/installer.log");
    EXPECT_EQ(PayloadArgv(),
              (std::vector<std::string>{InstallerPath(m_tmp), "/opt/Vantora|online_install"}));
    ExpectCleanExit(10000);
    ExpectEvents(Events(), {"S2_d01", "S2_d02"}, Address());
}

struct FailureCase
{
    const char* name;
    const char* mode;
    bool readOnlyFolder;
};

class InstallFailure : public InstallFlow, public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(InstallFailure, ShowsBothBoxesAndLeavesNothing)
{
    const FailureCase& c = GetParam();
    std::string tmp = m_tmp;
    if (c.readOnlyFolder) {
        chmod(m_tmp.c_str(), 0555);
        // Root writes through permissions; procfs takes no new files from anyone.
        if (access(m_tmp.c_str(), W_OK) == 0)
            tmp = "/proc";
    }
    if (!StartServiceAndInstaller(c.mode, tmp))
        return;
    ClickInstall();
    const std::string title = std::filesystem::path(g_installer).stem().string();
    // "网络中断！" from the worker, then "下载错误！" from the window, both with the
    // application name as caption.
    EXPECT_EQ(AnswerBoxes(2), (std::vector<std::string>{title, title}));
    ExpectCleanExit(10000);
    EXPECT_NE(access(InstallerPath(tmp).c_str(), F_OK), 0);
    EXPECT_TRUE(std::filesystem::is_empty(m_tmp)) << "left behind:" << Listing();
    EXPECT_TRUE(PayloadArgv().empty());
    ExpectEvents(Events(), {"S2_d01"}, Address());
}

INSTANTIATE_TEST_SUITE_P(Downloads, InstallFailure,
                         ::testing::Values(FailureCase{"NotFound", "404", false},
                                           FailureCase{"Redirect", "302", false},
                                           FailureCase{"DroppedHalfway", "drop-half", false},
                                           FailureCase{"ReadOnlyTempFolder", "ok", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstallFlow, DownloadWithoutLengthStillCompletes)
{
    if (!StartServiceAndInstaller("no-length", m_tmp))
        return;
    ClickInstall();
    ASSERT_TRUE(e2e::WaitFor([&] { return PayloadArgv().size() >= 2; }, 20000));
    EXPECT_EQ(PayloadArgv()[0], InstallerPath(m_tmp));
    ExpectCleanExit(10000);
    ExpectEvents(Events(), {"S2_d01", "S2_d02"}, Address());
}

TEST_F(InstallFlow, LinkPlantedAtTheInstallerPathIsNotFollowed)
{
    const std::string victim = m_dir + "/victim";
    std::ofstream(victim) << "original";
    ASSERT_EQ(symlink(victim.c_str(), InstallerPath(m_tmp).c_str()), 0);

    if (!StartServiceAndInstaller("ok", m_tmp))
        return;
    ClickInstall();
    ASSERT_TRUE(e2e::WaitFor([&] { return PayloadArgv().size() >= 2; }, 20000));
    ExpectCleanExit(10000);
    EXPECT_EQ(e2e::ReadFile(victim), "original");
    struct stat info;
    ASSERT_EQ(lstat(InstallerPath(m_tmp).c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(e2e::ReadFile(InstallerPath(m_tmp)), e2e::ReadFile(g_payload));
}

TEST_F(InstallFlow, ClosingDuringTheDownloadEndsAtOnceAndLeavesNothing)
{
    if (!StartServiceAndInstaller("slow", m_tmp))
        return;
    ClickInstall();
    ASSERT_TRUE(e2e::WaitFor([&] { return !Events().empty(); }, 10000));
    ClickWindow(449 + 10, 15 + 10);  // the banner's close glyph
    // "确定要退出吗?" answered with its default button, Yes.
    EXPECT_EQ(AnswerBoxes(1), std::vector<std::string>{"Vantora2.0安装"});
    ExpectCleanExit(5000);
    EXPECT_TRUE(std::filesystem::is_empty(m_tmp)) << "left behind:" << Listing();
    EXPECT_TRUE(PayloadArgv().empty());
    ExpectEvents(Events(), {"S2_d01"}, Address());
}

TEST_F(InstallFlow, AgreementGatesTheInstallAndTheLicenceLeavesItAlone)
{
    if (!StartServiceAndInstaller("ok", m_tmp))
        return;

    // Untick, then install: nothing starts. Opening the licence afterwards proves the click
    // was handled (the link would be hidden by a started install) and that no event went out.
    ClickAgreement();
    ClickInstall();
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        ClickLicenceLink();
        std::string licence;
        ASSERT_TRUE(e2e::WaitFor([&] { return !(licence = OtherWindow()).empty(); }, 10000))
            << "the licence window did not open";
        const e2e::Geometry g = e2e::GeometryOf(licence);
        EXPECT_EQ(g.width, 438);
        EXPECT_TRUE(Events().empty());
        e2e::Click(g.x + 413 + 5, g.y + 12 + 5);  // its close glyph
        ASSERT_TRUE(e2e::WaitFor([&] { return OtherWindow().empty(); }, 10000));
        ClickInstall();  // the licence did not give the agreement back
    }
    EXPECT_FALSE(m_installer.WaitExit(0).has_value());

    ClickAgreement();
    ClickInstall();
    ASSERT_TRUE(e2e::WaitFor([&] { return PayloadArgv().size() >= 2; }, 20000));
    ExpectCleanExit(10000);
    ExpectEvents(Events(), {"S2_d01", "S2_d02"}, Address());
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // <installer> <devservice> <demo payload> [<port of the compiled-in service address>]
    if (argc >= 4) {
        g_installer = argv[1];
        g_service = argv[2];
        g_payload = argv[3];
    }
    if (argc >= 5)
        g_nServicePort = std::atoi(argv[4]);
    return RUN_ALL_TESTS();
}
