// `GET /` from 127.0.0.2 on a fresh connection, while 127.0.0.1 holds N connections that
// sent half a request line and stopped. N = 0 is the baseline for the ratio; the site is
// configured to keep all N (no per-address cut) so only the serving itself is measured.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "server/core/event_log.h"
#include "server/core/sqlite_account_store.h"
#include "server/core/web_site.h"

namespace {

int Connect(int port, const char* local) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in me{};
    me.sin_family = AF_INET;
    ::inet_pton(AF_INET, local, &me.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<unsigned short>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

// One page over its own connection; false on error or after 10 s.
bool GetPage(int port) {
    const int fd = Connect(port, "127.0.0.2");
    if (fd < 0) return false;
    static constexpr char kGet[] = "GET / HTTP/1.1\r\nHost: b\r\nConnection: close\r\n\r\n";
    bool ok = ::send(fd, kGet, sizeof kGet - 1, MSG_NOSIGNAL) == sizeof kGet - 1;
    std::size_t got = 0;
    while (ok) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10'000) <= 0) {
            ok = false;
            break;
        }
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return ok && got > 0;
}

void PageBehindIdleConnections(benchmark::State& state) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kv-bench-web-" + std::to_string(::getpid()));
    fs::create_directories(dir / "site");
    std::ofstream(dir / "site" / "index.html") << std::string(577, 'p');
    {
        zorvid::EventLog log(nullptr);
        zorvid::SqliteAccountStore accounts((dir / "a.db").string(), 1, 8192, 32);
        zorvid::WebLimits limits;
        limits.maxPerAddress = 1000;
        limits.maxConnections = 1000;
        limits.requestTimeout = std::chrono::minutes(5);
        zorvid::WebSite site((dir / "site").string(), accounts, log, limits);
        const int port = site.Start("127.0.0.1", 0);
        std::vector<int> idle;
        for (int i = 0; i < state.range(0); ++i) {
            const int fd = Connect(port, "127.0.0.1");
            if (fd >= 0) {
                ::send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
                idle.push_back(fd);
            }
        }
        for (auto _ : state) {
            if (!GetPage(port)) state.SkipWithError("page not served");
        }
        state.counters["idle"] = static_cast<double>(idle.size());
        for (int fd : idle) ::close(fd);
    }
    fs::remove_all(dir);
}
BENCHMARK(PageBehindIdleConnections)
    ->Arg(0)
    ->Arg(100)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
