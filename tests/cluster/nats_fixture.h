#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zorvid::test {

// A child program whose standard output is read line by line; its standard error goes to a
// file, or is the test's own. It dies with the test process (also when the test crashes)
// and is killed when the object goes.
class TestProcess {
public:
    using Ms = std::chrono::milliseconds;

    TestProcess() = default;
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;
    ~TestProcess() { Kill(); }

    bool Start(const std::string& program, const std::vector<std::string>& args,
               const std::string& errorFile = {}) {
        Kill();
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return false;
        const int err = errorFile.empty() ? -1
                                          : ::open(errorFile.c_str(),
                                                   O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(126);
            ::dup2(out[1], 1);
            if (err >= 0) ::dup2(err, 2);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        if (err >= 0) ::close(err);
        if (pid_ < 0) {
            ::close(out[0]);
            return false;
        }
        out_ = out[0];
        buffer_.clear();
        return true;
    }

    // The next whole line of standard output, without its newline; nothing at the deadline
    // or when the output ends.
    std::optional<std::string> ReadLine(Ms timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left =
                std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
            if (out_ < 0 || left.count() <= 0) return std::nullopt;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
            char chunk[4096];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // SIGKILL, as a crash or a pulled plug would end it: no goodbye.
    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (out_ >= 0) {
            ::close(out_);
            out_ = -1;
        }
    }

    bool Running() const { return pid_ > 0; }

    void Signal(int signal) {
        if (pid_ > 0) ::kill(pid_, signal);
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

// A nats-server of the test's own on loopback, in a temporary folder (the test program
// defines KV_NATS_SERVER, the server's path). The first Start takes
// a free port (the server picks it); later ones reuse it, so clients can reconnect.
class NatsServer {
public:
    using Ms = std::chrono::milliseconds;

    NatsServer() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv-nats-XXXXXX").string();
        if (::mkdtemp(pattern.data())) dir_ = pattern;
    }
    NatsServer(const NatsServer&) = delete;
    NatsServer& operator=(const NatsServer&) = delete;
    ~NatsServer() {
        Stop();
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }

    // True once the server is ready for clients.
    bool Start(Ms timeout = Ms(10000)) {
        if (dir_.empty()) return false;
        const auto log = dir_ / "nats.log";
        std::error_code ignored;
        std::filesystem::remove(log, ignored);
        const std::string port = port_ > 0 ? std::to_string(port_) : "-1";
        if (!process_.Start(KV_NATS_SERVER, {"-a", "127.0.0.1", "-p", port, "-l", log.string()},
                            (dir_ / "nats.err").string())) {
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(log);
            std::stringstream text;
            text << in.rdbuf();
            const std::string s = text.str();
            if (s.find("Server is ready") != std::string::npos) {
                const std::string mark = "client connections on 127.0.0.1:";
                const auto at = s.find(mark);
                if (at == std::string::npos) return false;
                port_ = std::atoi(s.c_str() + at + mark.size());
                return port_ > 0;
            }
            std::this_thread::sleep_for(Ms(20));
        }
        return false;
    }

    // Kills it outright, as an outage would.
    void Stop() { process_.Kill(); }
    // Freezes it, as a hung server or a silent network would: connections stay open and
    // nothing is read from them.
    void Pause() { process_.Signal(SIGSTOP); }
    void Resume() { process_.Signal(SIGCONT); }

    int Port() const { return port_; }
    std::string Url() const { return "nats://127.0.0.1:" + std::to_string(port_); }

private:
    std::filesystem::path dir_;
    TestProcess process_;
    int port_ = 0;
};

}  // namespace zorvid::test
