#include "support_net/script_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "net/codec.h"

namespace kvtest {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

struct PeerScript::Step {
    enum class Kind {
        Receive,
        ReceiveBare,
        SendBytes,
        Wait,
        Silent,
        ExpectEnd,
        Close,
        ShutdownSend,
        Run,
        HandOver
    };
    Kind kind;
    std::string bytes;
    bool flag = false;
    std::chrono::milliseconds duration{0};
    Custom custom;
};

PeerScript::PeerScript() = default;
PeerScript::~PeerScript() = default;
PeerScript::PeerScript(const PeerScript&) = default;
PeerScript& PeerScript::operator=(const PeerScript&) = default;

PeerScript& PeerScript::Receive() {
    steps_.push_back({Step::Kind::Receive, {}, false, {}, {}});
    return *this;
}
PeerScript& PeerScript::ReceiveBareString() {
    steps_.push_back({Step::Kind::ReceiveBare, {}, false, {}, {}});
    return *this;
}
PeerScript& PeerScript::Send(const CMsg& msg) { return SendRaw(zorvi::EncodeMsg(msg)); }
PeerScript& PeerScript::SendBareString(const std::string& s) {
    return SendRaw(zorvi::EncodeBareString(s));
}
PeerScript& PeerScript::SendRaw(const std::string& bytes, bool oneBytePerWrite) {
    steps_.push_back({Step::Kind::SendBytes, bytes, oneBytePerWrite, {}, {}});
    return *this;
}
PeerScript& PeerScript::Wait(std::chrono::milliseconds duration) {
    steps_.push_back({Step::Kind::Wait, {}, false, duration, {}});
    return *this;
}
PeerScript& PeerScript::Silent() {
    steps_.push_back({Step::Kind::Silent, {}, false, {}, {}});
    return *this;
}
PeerScript& PeerScript::ExpectEnd() {
    steps_.push_back({Step::Kind::ExpectEnd, {}, false, {}, {}});
    return *this;
}
PeerScript& PeerScript::Close(bool reset) {
    steps_.push_back({Step::Kind::Close, {}, reset, {}, {}});
    return *this;
}
PeerScript& PeerScript::ShutdownSend() {
    steps_.push_back({Step::Kind::ShutdownSend, {}, false, {}, {}});
    return *this;
}
PeerScript& PeerScript::Run(Custom fn) {
    steps_.push_back({Step::Kind::Run, {}, false, {}, std::move(fn)});
    return *this;
}
PeerScript& PeerScript::HandOver() {
    steps_.push_back({Step::Kind::HandOver, {}, false, {}, {}});
    return *this;
}
PeerScript& PeerScript::StepTimeout(std::chrono::milliseconds t) {
    stepTimeout_ = t;
    return *this;
}

namespace {

using Clock = std::chrono::steady_clock;

// Why a script stopped early; the message becomes an entry of Errors().
struct ScriptFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct Stopped {};

// Reads, writes and waits on one connection, always with a deadline and always
// interruptible by the peer's stop signal.
class Link {
public:
    Link(int fd, int stopFd, std::chrono::milliseconds stepTimeout)
        : fd_(fd), stopFd_(stopFd), stepTimeout_(stepTimeout) {}

    // Waits until the connection is readable (true) or the deadline passes (false).
    bool WaitReadable(Clock::time_point deadline) {
        while (true) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) return false;
            pollfd p[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
            const int n = ::poll(p, 2, static_cast<int>(left.count()));
            if (n < 0 && errno != EINTR)
                throw ScriptFailure(std::string("poll: ") + std::strerror(errno));
            if (n > 0 && p[1].revents != 0) throw Stopped{};
            if (n > 0 && p[0].revents != 0) return true;
        }
    }

    // Appends what arrives; false at end of stream.
    bool ReadSome(Clock::time_point deadline) {
        if (!WaitReadable(deadline)) throw ScriptFailure("timed out waiting for the client");
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return true;
            throw ScriptFailure(std::string("recv: ") + std::strerror(errno));
        }
        if (n == 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    template <typename Decode>
    void ReadValue(Decode&& decode) {
        const auto deadline = Clock::now() + stepTimeout_;
        while (true) {
            const zorvi::DecodeResult r = decode(std::string_view(buffer_));
            if (r.status == zorvi::DecodeStatus::Complete) {
                buffer_.erase(0, r.consumed);
                return;
            }
            if (r.status == zorvi::DecodeStatus::Malformed) {
                throw ScriptFailure(std::string("malformed input: ") + r.error);
            }
            if (!ReadSome(deadline))
                throw ScriptFailure("client closed before a whole value arrived");
        }
    }

    void Write(const std::string& bytes, bool oneBytePerWrite) {
        const std::size_t piece = oneBytePerWrite ? 1 : bytes.size();
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            WriteAll(std::string_view(bytes).substr(at, piece));
            if (oneBytePerWrite) Pause(std::chrono::milliseconds(2));
        }
    }

    void Pause(std::chrono::milliseconds d) {
        pollfd p{stopFd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(d.count())) > 0) throw Stopped{};
    }

    std::string& buffer() { return buffer_; }

private:
    void WriteAll(std::string_view bytes) {
        const auto deadline = Clock::now() + stepTimeout_;
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
                if (left.count() <= 0) throw ScriptFailure("timed out sending to the client");
                pollfd p[2] = {{fd_, POLLOUT, 0}, {stopFd_, POLLIN, 0}};
                if (::poll(p, 2, static_cast<int>(left.count())) > 0 && p[1].revents != 0)
                    throw Stopped{};
                continue;
            }
            throw ScriptFailure(std::string("send: ") + std::strerror(errno));
        }
    }

    int fd_;
    int stopFd_;
    std::chrono::milliseconds stepTimeout_;
    std::string buffer_;
};

}  // namespace

ScriptPeer::ScriptPeer(PeerScript script)
    : ScriptPeer(std::vector<PeerScript>{std::move(script)}) {}

ScriptPeer::ScriptPeer(std::vector<PeerScript> scripts) : scripts_(std::move(scripts)) {
    if (scripts_.empty()) scripts_.emplace_back();
    std::signal(SIGPIPE, SIG_IGN);
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (stopFd_ < 0 || listenFd_ < 0) throw std::runtime_error("ScriptPeer: no socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw std::runtime_error(std::string("ScriptPeer: ") + std::strerror(errno));
    }
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread(&ScriptPeer::AcceptLoop, this);
}

ScriptPeer::~ScriptPeer() {
    stopping_ = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t w = ::write(stopFd_, &one, sizeof one);
    if (acceptThread_.joinable()) acceptThread_.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        threads.swap(connectionThreads_);
    }
    for (auto& t : threads) t.join();
    for (int fd : handedOver_) ::close(fd);
    ::close(listenFd_);
    ::close(stopFd_);
}

void ScriptPeer::AcceptLoop() {
    std::size_t index = 0;
    while (!stopping_) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents != 0) return;
        if (p[0].revents == 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const PeerScript& script = scripts_[std::min(index, scripts_.size() - 1)];
        ++index;
        std::lock_guard lock(mutex_);
        ++accepted_;
        connectionThreads_.emplace_back(&ScriptPeer::RunScript, this, fd, index - 1,
                                        std::cref(script));
        changed_.notify_all();
    }
}

void ScriptPeer::RunScript(int fd, std::size_t connection, const PeerScript& script) {
    using Kind = PeerScript::Step::Kind;
    Link link(fd, stopFd_, script.stepTimeout());
    bool ownsFd = true;
    try {
        for (const auto& step : script.steps()) {
            switch (step.kind) {
                case Kind::Receive: {
                    CMsg m;
                    link.ReadValue([&](std::string_view b) { return zorvi::DecodeMsg(b, m); });
                    RecordMsg(connection, m);
                    break;
                }
                case Kind::ReceiveBare: {
                    std::string s;
                    link.ReadValue(
                        [&](std::string_view b) { return zorvi::DecodeBareString(b, s); });
                    RecordString(connection, s);
                    break;
                }
                case Kind::SendBytes:
                    link.Write(step.bytes, step.flag);
                    break;
                case Kind::Wait:
                    link.Pause(step.duration);
                    break;
                case Kind::Silent:
                    // Read and drop until the client goes away; only the stop signal ends it.
                    while (link.ReadSome(Clock::now() + std::chrono::hours(1)))
                        link.buffer().clear();
                    break;
                case Kind::ExpectEnd: {
                    const auto deadline = Clock::now() + script.stepTimeout();
                    while (link.ReadSome(deadline)) {
                        CMsg m;
                        auto r = zorvi::DecodeMsg(link.buffer(), m);
                        while (r.status == zorvi::DecodeStatus::Complete) {
                            RecordMsg(connection, m);
                            link.buffer().erase(0, r.consumed);
                            r = zorvi::DecodeMsg(link.buffer(), m);
                        }
                    }
                    std::lock_guard lock(mutex_);
                    ++clientCloses_;
                    changed_.notify_all();
                    break;
                }
                case Kind::Close:
                    if (step.flag) {
                        linger l{1, 0};
                        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
                    }
                    ::close(fd);
                    ownsFd = false;
                    break;
                case Kind::ShutdownSend:
                    ::shutdown(fd, SHUT_WR);
                    break;
                case Kind::Run:
                    step.custom(fd);
                    break;
                case Kind::HandOver: {
                    std::lock_guard lock(mutex_);
                    handedOver_.push_back(fd);
                    ownsFd = false;
                    changed_.notify_all();
                    break;
                }
            }
            if (!ownsFd) break;
        }
    } catch (const ScriptFailure& e) {
        AddError(e.what());
    } catch (const Stopped&) {
    }
    if (ownsFd) ::close(fd);
    std::lock_guard lock(mutex_);
    ++finished_;
    changed_.notify_all();
}

void ScriptPeer::AddError(const std::string& e) {
    std::lock_guard lock(mutex_);
    errors_.push_back(e);
    changed_.notify_all();
}

void ScriptPeer::RecordMsg(std::size_t connection, const CMsg& m) {
    std::lock_guard lock(mutex_);
    received_.emplace_back(connection, m);
    changed_.notify_all();
}

void ScriptPeer::RecordString(std::size_t connection, const std::string& s) {
    std::lock_guard lock(mutex_);
    receivedStrings_.emplace_back(connection, s);
    changed_.notify_all();
}

namespace {

// Each connection's thread records on its own, so the last record of one exchange may be
// stored after the first of the next; ordering by connection gives the order the client
// sent them in.
template <typename T>
std::vector<T> InConnectionOrder(std::vector<std::pair<std::size_t, T>> tagged) {
    std::stable_sort(tagged.begin(), tagged.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<T> values;
    values.reserve(tagged.size());
    for (auto& [connection, value] : tagged) values.push_back(std::move(value));
    return values;
}

}  // namespace

std::vector<CMsg> ScriptPeer::Received() const {
    std::lock_guard lock(mutex_);
    return InConnectionOrder(received_);
}

std::vector<std::string> ScriptPeer::ReceivedStrings() const {
    std::lock_guard lock(mutex_);
    return InConnectionOrder(receivedStrings_);
}

int ScriptPeer::Accepted() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

int ScriptPeer::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

int ScriptPeer::ClientCloses() const {
    std::lock_guard lock(mutex_);
    return clientCloses_;
}

std::vector<std::string> ScriptPeer::Errors() const {
    std::lock_guard lock(mutex_);
    return errors_;
}

bool ScriptPeer::WaitUntil(std::chrono::milliseconds timeout,
                           const std::function<bool()>& done) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, done);
}

bool ScriptPeer::WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [&] { return received_.size() + receivedStrings_.size() >= count; });
}

bool ScriptPeer::WaitForAccepted(int count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [&] { return accepted_ >= count; });
}

bool ScriptPeer::WaitForFinished(int count, std::chrono::milliseconds timeout) const {
    return WaitUntil(timeout, [&] { return finished_ >= count; });
}

UniqueFd ScriptPeer::TakeConnection(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return !handedOver_.empty(); })) return UniqueFd();
    const int fd = handedOver_.front();
    handedOver_.pop_front();
    return UniqueFd(fd);
}

}  // namespace kvtest
