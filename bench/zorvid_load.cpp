// zorvid-load: N chat clients in M rooms against a running zorvid (started with
// --no-login-check and --chat-ports 0). S senders send lines of "NAME: seq t_ns pad" with at
// most W lines in flight each; every client reads. Reports delivered lines per second and
// p50/p99 send-to-delivery, plus a loopback echo round trip of the same run as a baseline.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <asio.hpp>

#include "net/codec.h"

namespace {

using Clock = std::chrono::steady_clock;
std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

struct Stats {
    std::uint64_t delivered = 0;
    std::vector<std::int64_t> latencies;
    bool counting = false;
};

class Client {
public:
    Client(asio::io_context& io, int index, Stats& stats) : socket_(io), index_(index), stats_(stats) {
        name_ = "u" + std::to_string(index);
    }
    void Connect(int port) {
        socket_.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
        socket_.set_option(asio::ip::tcp::no_delay(true));
        asio::write(socket_, asio::buffer(zorvi::EncodeBareString(name_)));
        std::string answer;
        std::string in;
        char buf[256];
        while (zorvi::DecodeBareString(in, answer).status != zorvi::DecodeStatus::Complete) {
            in.append(buf, socket_.read_some(asio::buffer(buf)));
        }
        input_ = in.substr(zorvi::DecodeBareString(in, answer).consumed);
        if (answer != "OK") throw std::runtime_error("join refused: " + answer);
    }
    void StartReading() { Read(); }
    void Send(const std::string& pad, int window) {
        while (sent_ - seen_ < window) {
            CMsg line(15, 11);
            line.text = name_ + ": " + std::to_string(sent_) + " " + std::to_string(NowNs()) + " " + pad;
            zorvi::AppendMsg(line, out_);
            ++sent_;
        }
        if (!writing_ && !out_.empty()) {
            writing_ = true;
            wbuf_.swap(out_);
            out_.clear();
            asio::async_write(socket_, asio::buffer(wbuf_), [this](asio::error_code ec, std::size_t) {
                writing_ = false;
                if (!ec && sender_) Send(pad_, window_);
            });
        }
    }
    void MakeSender(std::string pad, int window) {
        sender_ = true;
        pad_ = std::move(pad);
        window_ = window;
    }
    bool sender_ = false;

private:
    void Read() {
        socket_.async_read_some(asio::buffer(buf_), [this](asio::error_code ec, std::size_t n) {
            if (ec) return;
            input_.append(buf_.data(), n);
            const std::int64_t now = NowNs();
            std::size_t used = 0;
            CMsg msg;
            while (true) {
                const auto r = zorvi::DecodeMsg(std::string_view(input_).substr(used), msg);
                if (r.status != zorvi::DecodeStatus::Complete) break;
                used += r.consumed;
                if (msg.code2 != 11 || msg.list.empty()) continue;
                if (stats_.counting) ++stats_.delivered;
                const std::string& text = msg.list[0];
                const auto colon = text.find(": ");
                if (colon == std::string::npos) continue;
                long long seq = 0, t = 0;
                if (std::sscanf(text.c_str() + colon + 2, "%lld %lld", &seq, &t) != 2) continue;
                if (sender_ && text.compare(0, colon, name_) == 0) {
                    seen_ = std::max<std::int64_t>(seen_, seq + 1);  // own line came back
                    if (stats_.counting) stats_.latencies.push_back(now - t);
                    Send(pad_, window_);
                }
            }
            input_.erase(0, used);
            Read();
        });
    }

    asio::ip::tcp::socket socket_;
    int index_;
    Stats& stats_;
    std::string name_;
    std::array<char, 65536> buf_{};
    std::string input_, out_, wbuf_, pad_;
    bool writing_ = false;
    int window_ = 1;
    std::int64_t sent_ = 0, seen_ = 0;
};

double Percentile(std::vector<std::int64_t> v, double p) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return static_cast<double>(v[std::min(v.size() - 1, static_cast<std::size_t>(p / 100.0 * v.size()))]) / 1000.0;
}

// Round trip of a small message through an in-process loopback echo, the floor.
double EchoP50() {
    asio::io_context io;
    asio::ip::tcp::acceptor acc(io, {asio::ip::make_address("127.0.0.1"), 0});
    asio::ip::tcp::socket a(io), b(io);
    a.connect(acc.local_endpoint());
    acc.accept(b);
    a.set_option(asio::ip::tcp::no_delay(true));
    b.set_option(asio::ip::tcp::no_delay(true));
    std::vector<std::int64_t> rtt;
    char buf[64] = {};
    for (int i = 0; i < 2000; ++i) {
        const auto t = NowNs();
        asio::write(a, asio::buffer(buf, 64));
        asio::read(b, asio::buffer(buf, 64));
        asio::write(b, asio::buffer(buf, 64));
        asio::read(a, asio::buffer(buf, 64));
        rtt.push_back(NowNs() - t);
    }
    return Percentile(rtt, 50);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"zorvid-load: fan-out load against a running zorvid"};
    int service = 5111, clients = 1000, rooms = 10, senders = 10, window = 32, seconds = 10, padBytes = 40;
    app.add_option("--service-port", service, "zorvid's service port");
    app.add_option("-n", clients, "clients");
    app.add_option("-m", rooms, "rooms");
    app.add_option("-s", senders, "senders (one per room first)");
    app.add_option("-w", window, "lines in flight per sender");
    app.add_option("-d", seconds, "measured seconds");
    app.add_option("--pad", padBytes, "padding bytes per line");
    CLI11_PARSE(app, argc, argv);

    const double echo = EchoP50();
    asio::io_context io(1);
    std::vector<int> ports;
    for (int r = 0; r < rooms; ++r) {
        asio::ip::tcp::socket s(io);
        s.connect({asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(service)});
        CMsg create(13, 42);
        create.text = "load" + std::to_string(r) + "-" + std::to_string(NowNs() % 100000);
        create.list = {"u" + std::to_string(r)};
        asio::write(s, asio::buffer(zorvi::EncodeMsg(create)));
        std::string in;
        CMsg reply;
        char buf[512];
        while (zorvi::DecodeMsg(in, reply).status != zorvi::DecodeStatus::Complete) {
            in.append(buf, s.read_some(asio::buffer(buf)));
        }
        if (!reply.Is(13, 42)) {
            std::fprintf(stderr, "room creation refused\n");
            return 1;
        }
        ports.push_back(reply.number);
    }
    Stats stats;
    std::vector<std::unique_ptr<Client>> all;
    for (int i = 0; i < clients; ++i) {
        all.push_back(std::make_unique<Client>(io, i, stats));
        all.back()->Connect(ports[static_cast<std::size_t>(i % rooms)]);
    }
    const std::string pad(static_cast<std::size_t>(padBytes), 'p');
    for (int i = 0; i < senders && i < clients; ++i) all[static_cast<std::size_t>(i)]->MakeSender(pad, window);
    for (auto& c : all) c->StartReading();
    for (auto& c : all) {
        if (c->sender_) c->Send(pad, window);
    }
    asio::steady_timer warm(io), stop(io);
    Clock::time_point begin;
    warm.expires_after(std::chrono::seconds(1));
    warm.async_wait([&](asio::error_code) {
        stats.counting = true;
        begin = Clock::now();
        stop.expires_after(std::chrono::seconds(seconds));
        stop.async_wait([&](asio::error_code) {
            stats.counting = false;
            io.stop();
        });
    });
    io.run();
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    const double rate = static_cast<double>(stats.delivered) / elapsed;
    const double p50 = Percentile(stats.latencies, 50), p99 = Percentile(stats.latencies, 99);
    std::printf("clients=%d rooms=%d senders=%d window=%d\n", clients, rooms, senders, window);
    std::printf("delivered %.0f lines/s; send-to-delivery p50 %.1f us p99 %.1f us; echo p50 %.1f us (ratio %.2f)\n",
                rate, p50, p99, echo, p50 / echo);
    std::printf("RESULT rate=%.0f p50_us=%.1f p99_us=%.1f echo_us=%.1f ratio=%.2f\n", rate, p50, p99, echo, p50 / echo);
    return 0;
}
