#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zorvid::test {

// A program run as a child process with its three standard streams on pipes. Every wait
// has a deadline; the child is killed when it outlives the object.
class ChildProcess {
public:
    using Ms = std::chrono::milliseconds;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {in_, out_, err_}) {
            if (fd >= 0) ::close(fd);
        }
    }

    pid_t Pid() const { return pid_; }

    bool Start(const std::string& program, const std::vector<std::string>& args) {
        int in[2], out[2], err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
            ::pipe2(err, O_CLOEXEC) != 0)
            return false;
        pid_ = ::fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
        ::signal(SIGPIPE, SIG_IGN);
        return true;
    }

    // Writes all of `bytes` to the child's standard input, then closes it.
    bool FeedAndClose(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(in_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        ::close(in_);
        in_ = -1;
        return true;
    }

    // Reads standard error until it holds a whole line starting with `text`; false at the
    // deadline or when standard error ends.
    bool AwaitErrorLine(const std::string& text, Ms timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            const auto at = err.find(text);
            if (at != std::string::npos && err.find('\n', at) != std::string::npos) return true;
            if (!Pump(deadline, /*untilEnd=*/false)) return false;
        }
    }

    // Reads both outputs until the child ends them, then reaps it; the exit status, or
    // nothing when the deadline passed first.
    std::optional<int> Finish(Ms timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out_ >= 0 || err_ >= 0) {
            if (!Pump(deadline, /*untilEnd=*/true)) return std::nullopt;
        }
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    void Signal(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);
    }

    std::string out;
    std::string err;

private:
    // One wait for output; false at the deadline (or, unless untilEnd, at the end of stderr).
    bool Pump(std::chrono::steady_clock::time_point deadline, bool untilEnd) {
        const auto left =
            std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(p, 2, static_cast<int>(left.count())) <= 0) return false;
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            int& fd = i == 0 ? out_ : err_;
            if (fd < 0 || !(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                (i == 0 ? out : err).append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(fd);
                fd = -1;
                if (i == 1 && !untilEnd) return false;
            }
        }
        return true;
    }

    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1;
};

// Runs a program to its end with `input` on its standard input.
inline std::optional<int> RunProgram(
    const std::string& program, const std::vector<std::string>& args, const std::string& input,
    std::string& out, std::string& err,
    std::chrono::milliseconds timeout = std::chrono::milliseconds(10000)) {
    ChildProcess child;
    if (!child.Start(program, args) || !child.FeedAndClose(input)) return std::nullopt;
    auto status = child.Finish(timeout);
    out = child.out;
    err = child.err;
    return status;
}

}  // namespace zorvid::test
