// A static file server for the download benchmark: serves the files of one folder on
// 127.0.0.1 with their length, read in 1 MiB blocks. Prints "listening on 127.0.0.1:<port>".
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    httplib::Server server;
    server.Get(R"(/([A-Za-z0-9._-]+))", [&](const httplib::Request& req, httplib::Response& res) {
        const std::string path = folder + "/" + req.matches[1].str();
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info;
        if (fd < 0 || fstat(fd, &info) != 0) {
            if (fd >= 0)
                close(fd);
            res.status = 404;
            return;
        }
        auto file = std::shared_ptr<int>(new int(fd), [](int* p) {
            close(*p);
            delete p;
        });
        res.set_content_provider(
            static_cast<std::size_t>(info.st_size), "application/octet-stream",
            [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                static thread_local std::string block(1 << 20, '\0');
                const std::size_t want = std::min(length, block.size());
                const ssize_t n = pread(*file, block.data(), want, static_cast<off_t>(offset));
                return n > 0 && sink.write(block.data(), static_cast<std::size_t>(n));
            });
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0)
        return 1;
    std::printf("listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
