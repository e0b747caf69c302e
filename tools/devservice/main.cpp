// vantora-devservice: the local stand-in web service for the demo and the tests.
// The first line on stdout is always "listening on 127.0.0.1:<port>".
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "DevService.h"

namespace {

void PrintUsage(std::FILE* out)
{
    std::fprintf(out,
                 "usage: vantora-devservice [--port N] [--payload FILE] [--payload-name NAME]\n"
                 "         [--events FILE] [--version-mode MODE] [--download-mode MODE]\n"
                 "  --port N           port on 127.0.0.1 (default 18765, 0 picks a free one)\n"
                 "  --payload FILE     served at GET /download/<name>\n"
                 "  --payload-name N   the <name> (default: the file's base name)\n"
                 "  --events FILE      one JSON line appended per usage event\n"
                 "  --version-mode     ok|clock|empty|not-json|html-404|slow|no-data|wrong-types\n"
                 "  --download-mode    ok|404|302|no-length|drop-half|slow\n");
}

bool ParsePort(const char* text, int& port)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    DevService::Options options;
    options.appKey = VANTORA_APP_KEY;
    options.appSecret = VANTORA_APP_SECRET;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vantora-devservice: %s needs a value\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (arg == "--port") {
            ok = ParsePort(value.c_str(), options.port);
        } else if (arg == "--payload") {
            options.payloadPath = value;
        } else if (arg == "--payload-name") {
            ok = !value.empty() && value.find('/') == std::string::npos;
            options.payloadName = value;
        } else if (arg == "--events") {
            options.eventsPath = value;
        } else if (arg == "--version-mode") {
            const auto mode = DevService::ParseVersionMode(value);
            ok = mode.has_value();
            if (ok)
                options.versionMode = *mode;
        } else if (arg == "--download-mode") {
            const auto mode = DevService::ParseDownloadMode(value);
            ok = mode.has_value();
            if (ok)
                options.downloadMode = *mode;
        } else {
            std::fprintf(stderr, "vantora-devservice: unknown option %s\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "vantora-devservice: bad value for %s: %s\n", arg.c_str(),
                         value.c_str());
            return 2;
        }
    }

    // Termination signals are taken by one thread with sigwait, so the stop runs as plain code
    // rather than inside a handler. Blocked here, before any thread exists, so all inherit it.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the service

    DevService service(options);
    std::string error;
    const int port = service.Open(error);
    if (port < 0) {
        std::fprintf(stderr, "vantora-devservice: %s\n", error.c_str());
        return 1;
    }
    std::printf("listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);

    std::thread stopper([&service, stopSignals] {
        int signalNumber = 0;
        sigwait(&stopSignals, &signalNumber);
        std::fprintf(stderr, "vantora-devservice: %s, stopping\n", strsignal(signalNumber));
        service.Stop();
    });
    const bool served = service.Run();
    // Run() can only end by Stop() or by a failure; in the latter case wake the stopper.
    if (!served)
        pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return served ? 0 : 1;
}
