// zorvid-load: room fan-out load against a running zorvid (started with --no-login-check and
// --chat-ports 0). It does what the IRC generator in shared/bench does against an IRC server,
// phase for phase and option for option, so that the two figures compare:
//   1. loopback echo baseline: an in-process epoll echo thread, ping-pong of 64 bytes;
//   2. M rooms are created on the service port, N clients join them (client i in room i % M);
//   3. S senders (client k, room k % M) send room lines "uK: seq sender t_ns pad", as fast as
//      a window of W lines in flight allows (-r 0) or R lines/s each (-r R); in flight = sent
//      minus the highest sequence a designated witness (a member that is not a sender) saw.
//      Every client reads all the time; lines received in [warm-up, warm-up + duration) are
//      counted, and their send-to-delivery time (one clock read per read call) sampled.
//      The service returns a room line to its sender too; those copies are not counted,
//      since an IRC server does not send them: delivered lines mean lines to the others.
//   4. drain: stop sending and wait until the witnesses saw every line (at most 5 s).
// One event loop on raw epoll, like the IRC generator, so both cost the machine the same.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/tls_session.h"

namespace {

std::uint64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ull +
           static_cast<std::uint64_t>(ts.tv_nsec);
}

[[noreturn]] void Die(const char* what) {
    std::perror(what);
    std::exit(2);
}

void SetNoDelay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// 100 ns buckets up to 100 ms, then 100 us buckets up to 100 s: the IRC generator's histogram.
class Histogram {
public:
    Histogram() : buckets_(kFine + kCoarse + 1, 0) {}
    void Add(std::uint64_t ns) {
        std::size_t i;
        if (ns < 100000000ull) {
            i = static_cast<std::size_t>(ns / 100);
        } else {
            i = kFine + static_cast<std::size_t>(
                            std::min<std::uint64_t>((ns - 100000000ull) / 100000ull, kCoarse));
        }
        ++buckets_[i];
        ++n_;
        max_ = std::max(max_, ns);
    }
    // Percentile in microseconds (bucket midpoint); -1 when empty.
    double Percentile(double p) const {
        if (n_ == 0) return -1;
        const auto target = std::max<std::uint64_t>(
            1, static_cast<std::uint64_t>(std::ceil(p / 100.0 * static_cast<double>(n_))));
        std::uint64_t seen = 0;
        for (std::size_t i = 0; i < buckets_.size(); ++i) {
            seen += buckets_[i];
            if (seen >= target) {
                if (i < kFine) return (static_cast<double>(i) * 100.0 + 50.0) / 1000.0;
                return (1e8 + static_cast<double>(i - kFine) * 1e5 + 5e4) / 1000.0;
            }
        }
        return static_cast<double>(max_) / 1000.0;
    }
    std::uint64_t Count() const { return n_; }
    double MaxUs() const { return static_cast<double>(max_) / 1000.0; }

private:
    static constexpr std::size_t kFine = 1000000, kCoarse = 1000000;
    std::vector<std::uint32_t> buckets_;
    std::uint64_t n_ = 0, max_ = 0;
};

// ------------------------------------------------------------------------- CPU sampling
bool ProcTicks(int pid, std::uint64_t& ticks) {
    char path[64], buf[1024];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    const int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    const ssize_t r = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (r <= 0) return false;
    buf[r] = 0;
    const char* p = std::strrchr(buf, ')');
    unsigned long ut = 0, st = 0;
    if (!p ||
        std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &ut, &st) != 2)
        return false;
    ticks = ut + st;
    return true;
}

bool SystemTicks(std::uint64_t& busy, std::uint64_t& total) {
    FILE* f = std::fopen("/proc/stat", "r");
    if (!f) return false;
    unsigned long long v[10] = {};
    const int n = std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0],
                              &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7], &v[8], &v[9]);
    std::fclose(f);
    if (n < 8) return false;
    total = 0;
    for (int i = 0; i < 8; ++i) total += v[i];  // guest time is already in user
    busy = total - v[3] - v[4];
    return true;
}

struct CpuSnapshot {
    std::uint64_t t = 0, server = 0, self = 0, busy = 0, total = 0;
    bool serverOk = false;
};

// The service's CPU: the sum over its processes (a cluster's nodes, say).
CpuSnapshot TakeSnapshot(const std::vector<int>& serverPids) {
    CpuSnapshot s;
    s.t = NowNs();
    s.serverOk = !serverPids.empty();
    s.server = 0;
    for (int pid : serverPids) {
        std::uint64_t ticks = 0;
        s.serverOk = s.serverOk && pid > 0 && ProcTicks(pid, ticks);
        s.server += ticks;
    }
    if (!ProcTicks(getpid(), s.self)) s.self = 0;
    if (!SystemTicks(s.busy, s.total)) s.busy = s.total = 0;
    return s;
}

// ------------------------------------------------------------------------ echo baseline
// A new epoll instance that watches one descriptor for input.
int WatchReadable(int fd) {
    const int ep = epoll_create1(0);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
    return ep;
}

// The same round trip as the IRC generator's: an epoll echo thread, an epoll-waiting client,
// both with TCP_NODELAY, 64-byte messages.
void RunEcho(const char* host, int iterations, double maxSeconds, Histogram& h) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    inet_pton(AF_INET, host, &sa.sin_addr);
    const int lfd = socket(AF_INET, SOCK_STREAM, 0);
    if (lfd < 0 || bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        listen(lfd, 1) != 0)
        Die("echo listen");
    socklen_t sl = sizeof sa;
    getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &sl);
    std::thread echo([lfd] {
        const int fd = accept(lfd, nullptr, nullptr);
        if (fd < 0) return;
        SetNoDelay(fd);
        const int ep = WatchReadable(fd);
        epoll_event ev{};
        char buf[4096];
        while (epoll_wait(ep, &ev, 1, 5000) > 0) {
            const ssize_t r = read(fd, buf, sizeof buf);
            if (r <= 0) break;
            ssize_t off = 0;
            while (off < r) {
                const ssize_t w = write(fd, buf + off, static_cast<std::size_t>(r - off));
                if (w <= 0) break;
                off += w;
            }
            if (off < r) break;
        }
        close(ep);
        close(fd);
    });
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) Die("echo connect");
    SetNoDelay(fd);
    const int ep = WatchReadable(fd);
    epoll_event ev{};
    constexpr int kLen = 64;
    char msg[kLen], buf[4096];
    std::memset(msg, 'e', sizeof msg);
    const std::uint64_t deadline = NowNs() + static_cast<std::uint64_t>(maxSeconds * 1e9);
    const int warm = iterations / 10;
    for (int i = 0; i < iterations + warm && NowNs() < deadline; ++i) {
        const std::uint64_t t0 = NowNs();
        if (write(fd, msg, kLen) != kLen) Die("echo write");
        int got = 0;
        while (got < kLen) {
            if (epoll_wait(ep, &ev, 1, 1000) <= 0) Die("echo timeout");
            const ssize_t r = read(fd, buf, sizeof buf);
            if (r <= 0) Die("echo read");
            got += static_cast<int>(r);
        }
        if (i >= warm) h.Add(NowNs() - t0);
    }
    close(fd);
    echo.join();
    close(ep);
    close(lfd);
}

// ------------------------------------------------------------------ record scanning
// Reads one record's codes and first list string in place, without copies: the generator
// must cost the machine no more than the IRC generator's line splitting does. nullopt when
// the bytes end inside the record; throws on bytes that are no record.
struct RecordView {
    std::uint32_t code1 = 0, code2 = 0;
    std::string_view firstLine;
    std::size_t size = 0;
};

class Scanner {
public:
    explicit Scanner(std::string_view b) : b_(b) {}
    std::optional<RecordView> Record() {
        RecordView v;
        if (!U32(v.code1) || !U32(v.code2)) return std::nullopt;
        std::string_view skip;
        std::uint32_t number = 0;
        if (!String(skip) || !U32(number)) return std::nullopt;
        std::size_t strings = 0, ints = 0;
        if (!Count(strings)) return std::nullopt;
        for (std::size_t i = 0; i < strings; ++i) {
            if (!String(i == 0 ? v.firstLine : skip)) return std::nullopt;
        }
        if (!Count(ints) || !Take(4 * ints, skip)) return std::nullopt;
        v.size = pos_;
        return v;
    }

private:
    bool Take(std::size_t n, std::string_view& out) {
        if (b_.size() - pos_ < n) return false;
        out = b_.substr(pos_, n);
        pos_ += n;
        return true;
    }
    bool U8(std::uint32_t& v) {
        std::string_view s;
        if (!Take(1, s)) return false;
        v = static_cast<unsigned char>(s[0]);
        return true;
    }
    bool U16(std::uint32_t& v) {
        std::string_view s;
        if (!Take(2, s)) return false;
        v = static_cast<unsigned char>(s[0]) | (static_cast<unsigned char>(s[1]) << 8);
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::string_view s;
        if (!Take(4, s)) return false;
        v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<unsigned char>(s[static_cast<std::size_t>(i)]);
        return true;
    }
    bool Count(std::size_t& n) {
        std::uint32_t w = 0;
        if (!U16(w)) return false;
        if (w != 0xFFFF) {
            n = w;
            return true;
        }
        if (!U32(w)) return false;
        if (w > (1u << 24)) throw std::runtime_error("implausible count");
        n = w;
        return true;
    }
    bool String(std::string_view& out) {
        std::uint32_t len = 0;
        if (!U8(len)) return false;
        bool wide = false;
        if (len == 0xFF) {
            if (!U16(len)) return false;
            if (len == 0xFFFE) {
                wide = true;
                if (!U8(len)) return false;
                if (len == 0xFF) {
                    if (!U16(len)) return false;
                    if (len == 0xFFFF && !U32(len)) return false;
                }
            } else if (len == 0xFFFF && !U32(len)) {
                return false;
            }
        }
        if (len > (1u << 24)) throw std::runtime_error("implausible string length");
        return Take(wide ? 2 * std::size_t{len} : len, out);
    }

    std::string_view b_;
    std::size_t pos_ = 0;
};

// ------------------------------------------------------------------------------ the load
enum class State { Free, Connecting, Joining, Joined, Dead };

struct Options {
    std::string host = "127.0.0.1";
    int servicePort = zorvi::kDefaultServicePort;
    int n = 1000, m = 10, s = -1, window = 16, pad = 24, sample = 1, pending = 16;
    std::vector<int> serverPids;
    int echoIterations = 20000;
    double rate = 0, seconds = 10, warmup = 1, setup = 90;
    std::string label = "run";
    std::string tlsCa;  // not empty: the chat connections speak TLS, trusting this CA
};

struct Conn {
    int fd = -1;
    int index = 0;
    State state = State::Free;
    int room = 0;
    int sender = -1;       // sender id, or -1
    bool witness = false;  // reports its room's progress to the sender
    bool wantOut = false;  // EPOLLOUT registered
    std::string in;
    std::string out;  // bytes for the wire
    std::size_t outOff = 0;
    std::string name;
    std::unique_ptr<zorvid::TlsSession> tls;
    std::string plainOut;  // over TLS: records not yet encrypted
};

struct Sender {
    int client = 0, room = 0;
    std::uint64_t sent = 0, acked = 0, sentInWindow = 0, windowSkips = 0;
};

class Load {
public:
    explicit Load(const Options& o) : o_(o), pad_(static_cast<std::size_t>(o.pad), 'x') {
        if (!o.tlsCa.empty()) tls_ = zorvid::TlsContext::ForClient(o.tlsCa);
    }

    int Run() {
        Histogram echo;
        if (o_.echoIterations > 0) RunEcho(o_.host.c_str(), o_.echoIterations, 3.0, echo);
        ports_ = CreateRooms();
        Prepare();
        if (!Connect()) return 3;
        Send();
        Report(echo);
        for (auto& c : conns_) {
            if (c.fd >= 0) close(c.fd);
        }
        return 0;
    }

private:
    // One request on the service port per room; blocking, with a deadline for each answer.
    std::vector<int> CreateRooms() {
        std::vector<int> ports;
        const std::string tag = std::to_string(NowNs() % 1000000);
        for (int r = 0; r < o_.m; ++r) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            sa.sin_port = htons(static_cast<std::uint16_t>(o_.servicePort));
            inet_pton(AF_INET, o_.host.c_str(), &sa.sin_addr);
            if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
                Die("service connect");
            CMsg create(code1::kReply, code2::kCreateRoom);
            create.text = "load" + std::to_string(r) + "-" + tag;
            create.list = {"u" + std::to_string(r)};
            const std::string bytes = zorvi::EncodeMsg(create);
            if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
                Die("service write");
            std::string in;
            CMsg reply;
            while (zorvi::DecodeMsg(in, reply).status != zorvi::DecodeStatus::Complete) {
                pollfd p{fd, POLLIN, 0};
                char buf[512];
                const ssize_t got = poll(&p, 1, 5000) == 1 ? read(fd, buf, sizeof buf) : -1;
                if (got <= 0) Die("service answer");
                in.append(buf, static_cast<std::size_t>(got));
            }
            close(fd);
            if (!reply.Is(code1::kReply, code2::kCreateRoom)) {
                std::fprintf(stderr, "room creation refused ({%d, %d})\n", reply.code1,
                             reply.code2);
                std::exit(1);
            }
            ports.push_back(reply.number);
        }
        return ports;
    }

    void Prepare() {
        conns_.resize(static_cast<std::size_t>(o_.n));
        senders_.resize(static_cast<std::size_t>(o_.s));
        members_.assign(static_cast<std::size_t>(o_.m), 0);
        ep_ = epoll_create1(0);
        if (ep_ < 0) Die("epoll");
        for (int i = 0; i < o_.n; ++i) {
            Conn& c = conns_[static_cast<std::size_t>(i)];
            c.index = i;
            c.room = i % o_.m;
            c.name = "u" + std::to_string(i);
            ++members_[static_cast<std::size_t>(c.room)];
        }
        for (int k = 0; k < o_.s; ++k) {
            senders_[static_cast<std::size_t>(k)] = Sender{k, k % o_.m};
            conns_[static_cast<std::size_t>(k)].sender = k;
        }
        for (int r = 0; r < o_.m; ++r) {
            int witness = -1;
            for (int i = r; i < o_.n; i += o_.m) {
                if (i >= o_.s) witness = i;
            }
            if (witness < 0) {
                std::fprintf(stderr,
                             "room %d has no member that is not a sender to act as witness\n", r);
                std::exit(1);
            }
            conns_[static_cast<std::size_t>(witness)].witness = true;
        }
    }

    bool Connect() {
        const std::uint64_t t0 = NowNs(),
                            deadline = t0 + static_cast<std::uint64_t>(o_.setup * 1e9);
        int next = 0;
        while (joined_ + dead_ < o_.n && NowNs() < deadline) {
            while (pendingJoins_ < o_.pending && next < o_.n)
                StartConnect(conns_[static_cast<std::size_t>(next++)]);
            Poll(100);
        }
        const double setupSeconds = static_cast<double>(NowNs() - t0) / 1e9;
        std::printf("[%s] setup: %d/%d clients joined %d rooms in %.2f s (dead %d)\n",
                    o_.label.c_str(), joined_, o_.n, o_.m, setupSeconds, dead_);
        setupSeconds_ = setupSeconds;
        if (joined_ != o_.n) {
            std::printf("RESULT label=%s ok=0 joined=%d n=%d\n", o_.label.c_str(), joined_, o_.n);
            return false;
        }
        // Settle: let the arrival pushes of the last joins drain.
        for (const std::uint64_t until = NowNs() + 500000000ull; NowNs() < until;) Poll(50);
        return true;
    }

    void Send() {
        const std::uint64_t run0 = NowNs();
        tStart_ = run0 + static_cast<std::uint64_t>(o_.warmup * 1e9);
        tEnd_ = tStart_ + static_cast<std::uint64_t>(o_.seconds * 1e9);
        sending_ = true;
        if (o_.rate > 0) {
            timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK);
            const auto iv = static_cast<std::uint64_t>(1e9 / o_.rate);
            itimerspec its{};
            its.it_interval.tv_sec = static_cast<time_t>(iv / 1000000000ull);
            its.it_interval.tv_nsec = static_cast<long>(iv % 1000000000ull);
            its.it_value.tv_nsec = 1000;
            timerfd_settime(timer_, 0, &its, nullptr);
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u32 = UINT32_MAX;
            epoll_ctl(ep_, EPOLL_CTL_ADD, timer_, &ev);
        } else {
            for (auto& sd : senders_) Pump(sd);
        }
        bool haveStart = false;
        std::uint64_t drainDeadline = 0, caughtUpAt = 0;
        for (;;) {
            const std::uint64_t now = NowNs();
            if (!haveStart && now >= tStart_) {
                c0_ = TakeSnapshot(o_.serverPids);
                haveStart = true;
            }
            if (sending_ && now >= tEnd_) {
                c1_ = TakeSnapshot(o_.serverPids);
                sending_ = false;
                tStop_ = now;
                drainDeadline = now + 5000000000ull;
                if (timer_ >= 0) {
                    epoll_ctl(ep_, EPOLL_CTL_DEL, timer_, nullptr);
                    close(timer_);
                    timer_ = -1;
                }
            }
            if (!sending_) {
                bool all = true;
                for (const auto& sd : senders_) {
                    if (conns_[static_cast<std::size_t>(sd.client)].state == State::Joined &&
                        sd.acked < sd.sent)
                        all = false;
                }
                if (all && !caughtUpAt) caughtUpAt = now;
                if ((caughtUpAt && now > caughtUpAt + 300000000ull) || now > drainDeadline) break;
            }
            Poll(5);
        }
    }

    void Poll(int timeoutMs) {
        const int n = epoll_wait(ep_, events_, kEvents, timeoutMs);
        for (int e = 0; e < n; ++e) {
            if (events_[e].data.u32 == UINT32_MAX) {
                OnTimer();
                continue;
            }
            HandleEvent(conns_[events_[e].data.u32], events_[e].events);
        }
    }

    void OnTimer() {
        std::uint64_t expirations = 0;
        if (read(timer_, &expirations, sizeof expirations) != sizeof expirations || !sending_)
            return;
        expirations = std::min<std::uint64_t>(expirations, 10);
        const std::uint64_t ts = NowNs();
        for (auto& sd : senders_) {
            Conn& c = conns_[static_cast<std::size_t>(sd.client)];
            if (c.state != State::Joined) continue;
            for (std::uint64_t x = 0; x < expirations; ++x) {
                if (sd.sent - sd.acked >= static_cast<std::uint64_t>(o_.window)) {
                    ++sd.windowSkips;
                    break;
                }
                QueueLine(sd, ts);
            }
            Flush(c);
        }
    }

    void StartConnect(Conn& c) {
        c.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        if (c.fd < 0) Die("socket");
        SetNoDelay(c.fd);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<std::uint16_t>(ports_[static_cast<std::size_t>(c.room)]));
        inet_pton(AF_INET, o_.host.c_str(), &sa.sin_addr);
        if (connect(c.fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 && errno != EINPROGRESS)
            Die("connect");
        c.state = State::Connecting;
        ++pendingJoins_;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLOUT;
        ev.data.u32 = static_cast<std::uint32_t>(c.index);
        epoll_ctl(ep_, EPOLL_CTL_ADD, c.fd, &ev);
        c.wantOut = true;
    }

    void MarkDead(Conn& c, const char* why) {
        if (c.state == State::Dead) return;
        if (c.state == State::Connecting || c.state == State::Joining) --pendingJoins_;
        if (c.state == State::Joined) --joined_;
        c.state = State::Dead;
        ++dead_;
        if (deadReports_++ < 5) std::fprintf(stderr, "client %d dead: %s\n", c.index, why);
        if (c.fd >= 0) {
            epoll_ctl(ep_, EPOLL_CTL_DEL, c.fd, nullptr);
            close(c.fd);
            c.fd = -1;
        }
    }

    void WantOut(Conn& c, bool want) {
        if (c.fd < 0 || want == c.wantOut) return;
        epoll_event ev{};
        ev.events = EPOLLIN | (want ? EPOLLOUT : 0u);
        ev.data.u32 = static_cast<std::uint32_t>(c.index);
        epoll_ctl(ep_, EPOLL_CTL_MOD, c.fd, &ev);
        c.wantOut = want;
    }

    // Where records for the peer go: straight to the wire, or into TLS first.
    static std::string& Out(Conn& c) { return c.tls ? c.plainOut : c.out; }

    void Flush(Conn& c) {
        if (c.tls) {
            if (!c.plainOut.empty() && !c.tls->Send(c.plainOut)) {
                MarkDead(c, c.tls->Error().c_str());
                return;
            }
            c.plainOut.clear();
            c.tls->TakeWire(c.out);
        }
        while (c.out.size() > c.outOff) {
            const ssize_t w = write(c.fd, c.out.data() + c.outOff, c.out.size() - c.outOff);
            if (w > 0) {
                c.outOff += static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
                WantOut(c, true);
                return;
            }
            MarkDead(c, "write error");
            return;
        }
        c.out.clear();
        c.outOff = 0;
        WantOut(c, false);
    }

    void QueueLine(Sender& sd, std::uint64_t ts) {
        Conn& c = conns_[static_cast<std::size_t>(sd.client)];
        ++sd.sent;
        line_.text = c.name;
        line_.text += ": ";
        line_.text += std::to_string(sd.sent);
        line_.text += ' ';
        line_.text += std::to_string(&sd - senders_.data());
        line_.text += ' ';
        line_.text += std::to_string(ts);
        line_.text += ' ';
        line_.text += pad_;
        zorvi::AppendMsg(line_, Out(c));
        if (ts >= tStart_ && ts < tEnd_) ++sd.sentInWindow;
    }

    // As fast as the window allows: fill it.
    void Pump(Sender& sd) {
        Conn& c = conns_[static_cast<std::size_t>(sd.client)];
        if (!sending_ || c.state != State::Joined) return;
        std::int64_t budget =
            static_cast<std::int64_t>(o_.window) - static_cast<std::int64_t>(sd.sent - sd.acked);
        if (budget <= 0) return;
        const std::uint64_t ts = NowNs();
        while (budget-- > 0) QueueLine(sd, ts);
        Flush(c);
    }

    static std::uint64_t ParseU64(std::string_view& s) {
        std::uint64_t v = 0;
        std::size_t i = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            v = v * 10 + static_cast<std::uint64_t>(s[i++] - '0');
        if (i < s.size() && s[i] == ' ') ++i;
        s.remove_prefix(i);
        return v;
    }

    void OnLine(Conn& c, std::string_view text, std::uint64_t t) {
        const auto colon = text.find(": ");
        if (colon == std::string_view::npos) {
            ++unparsed_;
            return;
        }
        std::string_view rest = text.substr(colon + 2);
        const std::uint64_t seq = ParseU64(rest), sid = ParseU64(rest), ts = ParseU64(rest);
        if (static_cast<int>(sid) == c.sender) return;  // the sender's own copy
        ++deliveredTotal_;
        if (t >= tStart_ && t < tEnd_) {
            ++deliveredInWindow_;
            if (seq % static_cast<std::uint64_t>(o_.sample) == 0 && ts && t >= ts)
                latency_.Add(t - ts);
        }
        if (c.witness && sid < static_cast<std::uint64_t>(o_.s)) {
            Sender& sd = senders_[sid];
            sd.acked = std::max(sd.acked, seq);
            // Refill with hysteresis: write a batch once half the window is free.
            if (o_.rate == 0 && sd.sent - sd.acked <= static_cast<std::uint64_t>(o_.window / 2))
                Pump(sd);
        }
    }

    void Read(Conn& c) {
        char buf[16384];
        const ssize_t r = read(c.fd, buf, sizeof buf);
        if (r == 0) {
            MarkDead(c, "EOF from server");
            return;
        }
        if (r < 0) {
            if (errno != EAGAIN && errno != EINTR) MarkDead(c, "read error");
            return;
        }
        const std::uint64_t t = NowNs();
        std::string_view input(buf, static_cast<std::size_t>(r));
        if (c.tls) {
            plain_.clear();
            if (!c.tls->Receive(input, plain_)) {
                MarkDead(c, c.tls->Error().c_str());
                return;
            }
            if (c.tls->HasWire()) Flush(c);  // the handshake's answers, then the join
            if (c.state == State::Dead) return;
            input = plain_;
        }
        if (!c.in.empty()) {
            c.in.append(input);
            input = c.in;
        }
        std::size_t used = 0;
        if (c.state == State::Joining) {
            std::string answer;
            const auto res = zorvi::DecodeBareString(input, answer);
            if (res.status == zorvi::DecodeStatus::NeedMore) {
                Keep(c, input, 0);
                return;
            }
            if (res.status != zorvi::DecodeStatus::Complete || answer != "OK") {
                MarkDead(c, ("join refused: " + answer).c_str());
                return;
            }
            used = res.consumed;
            c.state = State::Joined;
            --pendingJoins_;
            ++joined_;
        }
        try {
            while (used < input.size()) {
                Scanner scan(input.substr(used));
                const auto rec = scan.Record();
                if (!rec) break;
                used += rec->size;
                if (rec->code1 == code1::kReply && rec->code2 == code2::kChatLine) {
                    OnLine(c, rec->firstLine, t);
                    if (c.state == State::Dead) return;
                } else if (rec->code1 == code1::kReply && rec->code2 == code2::kClosing) {
                    MarkDead(c, "the service ended the connection");
                    return;
                }
            }
        } catch (const std::exception& e) {
            MarkDead(c, e.what());
            return;
        }
        Keep(c, input, used);
    }

    // Keeps the unused tail of `input` (which is either the read buffer or c.in itself).
    static void Keep(Conn& c, std::string_view input, std::size_t used) {
        if (c.in.empty()) {
            c.in.assign(input.substr(used));
        } else {
            c.in.erase(0, used);
        }
    }

    void HandleEvent(Conn& c, std::uint32_t events) {
        if (c.state == State::Dead) return;
        if (c.state == State::Connecting) {
            if (!(events & (EPOLLOUT | EPOLLERR | EPOLLHUP))) return;
            int err = 0;
            socklen_t len = sizeof err;
            getsockopt(c.fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err) {
                MarkDead(c, std::strerror(err));
                return;
            }
            c.state = State::Joining;
            if (tls_) {
                c.tls = std::make_unique<zorvid::TlsSession>(*tls_, o_.host);
                c.tls->Connect();
            }
            zorvi::AppendBareString(c.name, Out(c));  // over TLS it waits for the handshake
            Flush(c);
            return;
        }
        if (events & EPOLLOUT) Flush(c);
        if (c.state != State::Dead && (events & (EPOLLIN | EPOLLERR | EPOLLHUP))) Read(c);
    }

    void Report(const Histogram& echo) {
        std::uint64_t sentTotal = 0, sentInWindow = 0, expected = 0, skips = 0;
        for (const auto& sd : senders_) {
            sentTotal += sd.sent;
            sentInWindow += sd.sentInWindow;
            skips += sd.windowSkips;
            expected += sd.sent *
                        static_cast<std::uint64_t>(members_[static_cast<std::size_t>(sd.room)] - 1);
        }
        const double wall = static_cast<double>(c1_.t - c0_.t) / 1e9;
        const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
        double serverCpu = -1, selfCpu = -1, busy = -1;
        if (wall > 0) {
            if (c0_.serverOk && c1_.serverOk)
                serverCpu = 100.0 * static_cast<double>(c1_.server - c0_.server) / tick / wall;
            selfCpu = 100.0 * static_cast<double>(c1_.self - c0_.self) / tick / wall;
            if (c1_.total > c0_.total)
                busy = 100.0 * static_cast<double>(c1_.busy - c0_.busy) /
                       static_cast<double>(c1_.total - c0_.total);
        }
        const char* l = o_.label.c_str();
        const double dps = static_cast<double>(deliveredInWindow_) / o_.seconds;
        const double sps = static_cast<double>(sentInWindow) / o_.seconds;
        std::printf("[%s] echo baseline: n=%llu rtt p50=%.1f us p99=%.1f us (msg 64 B)\n", l,
                    static_cast<unsigned long long>(echo.Count()), echo.Percentile(50),
                    echo.Percentile(99));
        std::printf("[%s] load: n=%d m=%d s=%d rate=%s window=%d pad=%d dur=%.1fs warmup=%.1fs\n",
                    l, o_.n, o_.m, o_.s, o_.rate > 0 ? "fixed" : "max", o_.window, o_.pad,
                    o_.seconds, o_.warmup);
        std::printf(
            "[%s] sent %.0f lines/s, delivered %.0f lines/s (window), latency p50=%.1f us p99=%.1f "
            "us "
            "p99.9=%.1f us max=%.1f us (n=%llu)\n",
            l, sps, dps, latency_.Percentile(50), latency_.Percentile(99),
            latency_.Percentile(99.9), latency_.MaxUs(),
            static_cast<unsigned long long>(latency_.Count()));
        std::printf(
            "[%s] completeness: delivered %llu of %llu expected (%.4f%%), dead=%d, window "
            "stalls=%llu, "
            "unparsed=%llu, drain %.2f s\n",
            l, static_cast<unsigned long long>(deliveredTotal_),
            static_cast<unsigned long long>(expected),
            expected ? 100.0 * static_cast<double>(deliveredTotal_) / static_cast<double>(expected)
                     : 0.0,
            dead_, static_cast<unsigned long long>(skips),
            static_cast<unsigned long long>(unparsed_),
            static_cast<double>(NowNs() - tStop_) / 1e9);
        std::printf(
            "[%s] cpu (%% of one core over window): server=%.1f generator=%.1f system busy=%.1f%% "
            "of all cores\n",
            l, serverCpu, selfCpu, busy);
        std::printf(
            "RESULT label=%s ok=1 n=%d m=%d s=%d rate=%g win=%d pad=%d dur=%g setup_s=%.2f "
            "sent_ps=%.0f "
            "deliv_ps=%.0f lat_p50_us=%.1f lat_p99_us=%.1f lat_n=%llu deliv_total=%llu "
            "expected=%llu "
            "dead=%d srv_cpu=%.1f gen_cpu=%.1f sys_busy=%.1f echo_p50_us=%.1f echo_p99_us=%.1f "
            "echo_n=%llu\n",
            l, o_.n, o_.m, o_.s, o_.rate, o_.window, o_.pad, o_.seconds, setupSeconds_, sps, dps,
            latency_.Percentile(50), latency_.Percentile(99),
            static_cast<unsigned long long>(latency_.Count()),
            static_cast<unsigned long long>(deliveredTotal_),
            static_cast<unsigned long long>(expected), dead_, serverCpu, selfCpu, busy,
            echo.Percentile(50), echo.Percentile(99),
            static_cast<unsigned long long>(echo.Count()));
        std::fflush(stdout);
    }

    static constexpr int kEvents = 1024;
    const Options& o_;
    std::shared_ptr<zorvid::TlsContext> tls_;
    std::string plain_;  // the records of one TLS read
    const std::string pad_;
    std::vector<int> ports_;
    std::vector<Conn> conns_;
    std::vector<Sender> senders_;
    std::vector<int> members_;
    int ep_ = -1, timer_ = -1;
    epoll_event events_[kEvents]{};
    int joined_ = 0, dead_ = 0, pendingJoins_ = 0, deadReports_ = 0;
    bool sending_ = false;
    std::uint64_t tStart_ = 0, tEnd_ = 0, tStop_ = 0;
    std::uint64_t deliveredTotal_ = 0, deliveredInWindow_ = 0, unparsed_ = 0;
    double setupSeconds_ = 0;
    CpuSnapshot c0_, c1_;
    Histogram latency_;
    CMsg line_{code1::kUserAction, code2::kChatLine};
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app{
        "zorvid-load: room fan-out load against a running zorvid, option for option like the IRC "
        "generator (ircload)"};
    app.add_option("-H,--host", o.host, "service address");
    app.add_option("-p,--service-port", o.servicePort, "zorvid's service port");
    app.add_option("-n", o.n, "clients")->check(CLI::Range(1, 60000));
    app.add_option("-m", o.m, "rooms")->check(CLI::Range(1, 10000));
    app.add_option("-s", o.s, "senders (default: one per room)");
    app.add_option("-d", o.seconds, "measured seconds")->check(CLI::Range(0.1, 300.0));
    app.add_option("-W", o.warmup, "warm-up seconds")->check(CLI::Range(0.0, 60.0));
    app.add_option("-r", o.rate, "lines/s per sender, 0 = as fast as the window allows")
        ->check(CLI::Range(0.0, 1e6));
    app.add_option("-w", o.window, "lines in flight per sender")->check(CLI::Range(1, 1 << 20));
    app.add_option("-z,--pad", o.pad, "padding bytes per line")->check(CLI::Range(0, 400));
    app.add_option("-k", o.sample, "sample the latency of every k-th line")
        ->check(CLI::Range(1, 1 << 20));
    app.add_option("-q", o.pending, "joins in flight at most")->check(CLI::Range(1, 10000));
    app.add_option("-P", o.serverPids, "the service's process ids, for its CPU use (a,b,...)")
        ->delimiter(',');
    app.add_option("-E", o.echoIterations, "echo baseline round trips, 0 = skip");
    app.add_option("-T", o.setup, "setup time-out in seconds")->check(CLI::Range(1.0, 600.0));
    app.add_option("-L", o.label, "label of the result lines");
    app.add_option("--tls", o.tlsCa,
                   "CA file (PEM): chat connections over TLS, checking the certificate against "
                   "it and the host name");
    CLI11_PARSE(app, argc, argv);
    if (o.s < 0) o.s = o.m;
    if (o.m > o.n || o.s < 1 || o.s > o.n) {
        std::fprintf(stderr, "need 1 <= rooms <= clients and 1 <= senders <= clients\n");
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    alarm(static_cast<unsigned>(o.setup + o.warmup + o.seconds +
                                40));  // ends by itself, whatever happens
    Load load(o);
    return load.Run();
}
