#include "support_pg/pg_fixture.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace zorvid::test {
namespace {

// The script waits for PostgreSQL with time-outs of its own; this is the outer guard.
constexpr std::chrono::seconds kScriptTimeout{90};

}  // namespace

int FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("no socket for a free port");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    ::close(fd);
    if (!ok) throw std::runtime_error("no free loopback port");
    return ntohs(addr.sin_port);
}

ThrowawayPostgres::ThrowawayPostgres() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kv-pg-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    base_ = pattern;
    // Run as root, the server's own user must pass through to its folder.
    ::chmod(base_.c_str(), 0711);
    dataDir_ = base_ / "data";
    port_ = FreeLoopbackPort();
    try {
        Start();
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove_all(base_, ec);
        throw;
    }
}

ThrowawayPostgres::~ThrowawayPostgres() {
    try {
        Stop();
    } catch (const std::exception&) {
        // The folder goes anyway; a server left behind shuts itself down within a
        // minute of losing its lock file.
    }
    std::error_code ec;
    std::filesystem::remove_all(base_, ec);
}

void ThrowawayPostgres::Start() {
    std::string out = RunScript({"start", dataDir_.string(), std::to_string(port_)});
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    if (out.rfind("postgresql://", 0) != 0)
        throw std::runtime_error("pg-throwaway.sh printed no URI: " + out);
    uri_ = out;
}

void ThrowawayPostgres::Stop() { RunScript({"stop", dataDir_.string()}); }

std::string ThrowawayPostgres::RunScript(const std::vector<std::string>& args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error("no pipe");
    }
    const std::string script = KV_PG_THROWAWAY_SCRIPT;
    std::vector<std::string> argv{"/bin/bash", script};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargs;
    for (auto& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        // Its own process group, so that a time-out ends the script and what it started.
        ::setpgid(0, 0);
        ::execv(cargs[0], cargs.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (pid < 0) {
        ::close(out[0]);
        ::close(err[0]);
        throw std::runtime_error("cannot run pg-throwaway.sh");
    }
    std::string text[2];
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + kScriptTimeout;
    int open = 2;
    bool late = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            late = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                text[i].append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (auto& f : fds) {
        if (f.fd >= 0) ::close(f.fd);
    }
    // A server the script started has left its process group; only the script is ended.
    if (late) ::kill(-pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (late) throw std::runtime_error("pg-throwaway.sh " + args.front() + " ran out of time");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("pg-throwaway.sh " + args.front() + " failed: " + text[1]);
    return text[0];
}

}  // namespace zorvid::test
