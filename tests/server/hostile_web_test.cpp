// The web site against hostile visitors: idle connections, trickled requests, header floods
// and oversized bodies, each with short configured limits and bounded waits.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/core/event_log.h"
#include "server/core/server_config.h"
#include "server/core/sqlite_account_store.h"
#include "server/core/web_site.h"
#include "tests/server/test_certs.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A raw loopback connection from a chosen 127.0.0.x address; every wait has a deadline.
class RawHttp {
public:
    RawHttp(int port, const char* local) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in me{};
        me.sin_family = AF_INET;
        ::inet_pton(AF_INET, local, &me.sin_addr);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<unsigned short>(port));
        ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        connected_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&me), sizeof me) == 0 &&
                     ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~RawHttp() {
        if (fd_ >= 0) ::close(fd_);
    }
    RawHttp(const RawHttp&) = delete;
    RawHttp& operator=(const RawHttp&) = delete;

    bool Connected() const { return connected_; }
    bool Send(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Reads until the peer closes or `wait` passes; `closed` tells which.
    std::string ReadAll(std::chrono::milliseconds wait, bool& closed) {
        std::string out;
        closed = false;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) break;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) {
                closed = true;
                break;
            }
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
    // Reads one whole answer of known framing: up to the end of a Content-Length body.
    std::string ReadAnswer(std::chrono::milliseconds wait) {
        std::string out;
        const auto end = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < end && !Complete(out)) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) break;
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out;
    }
    // True when the peer has closed (or reset) the connection, without waiting.
    bool ClosedByPeer() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return false;
        char c;
        return ::recv(fd_, &c, 1, MSG_PEEK) <= 0;
    }

private:
    static bool Complete(const std::string& s) {
        const auto head = s.find("\r\n\r\n");
        if (head == std::string::npos) return false;
        const auto cl = s.find("Content-Length: ");
        if (cl == std::string::npos || cl > head) return true;
        return s.size() - head - 4 >= std::stoul(s.substr(cl + 16));
    }
    int fd_ = -1;
    bool connected_ = false;
};

std::size_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

class HostileWebTest : public ::testing::Test {
protected:
    HostileWebTest() {
        dir = fs::temp_directory_path() /
              ("kv-hostile-web-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "site");
        std::ofstream(dir / "site" / "index.html") << "<p>portal</p>";
        accounts = std::make_unique<SqliteAccountStore>((dir / "accounts.db").string(), 1, 8192, 32,
                                                        HashLimits{1, 4, 5000ms});
    }
    ~HostileWebTest() override {
        site.reset();
        accounts.reset();
        fs::remove_all(dir);
    }
    int Start(const WebLimits& limits) {
        site = std::make_unique<WebSite>((dir / "site").string(), *accounts, log, limits);
        return site->Start("127.0.0.1", 0);
    }

    fs::path dir;
    std::ostringstream logText;
    EventLog log{&logText};
    std::unique_ptr<AccountStore> accounts;
    std::unique_ptr<WebSite> site;
};

constexpr const char* kGet = "GET / HTTP/1.1\r\nHost: t\r\n\r\n";

// Idle connections neither hold up another address's page nor let one address take every
// place. The answer is awaited for less than the 5 s a worker once waited on each idle one.
TEST_F(HostileWebTest, IdleConnectionsNeitherDelayNorCrowdOutOthers) {
    WebLimits limits;
    limits.maxPerAddress = 100;
    limits.maxConnections = 300;
    limits.requestTimeout = 60s;  // longer than the test: nothing is cut for lateness
    const int port = Start(limits);

    std::vector<std::unique_ptr<RawHttp>> idle;
    for (int i = 0; i < 100; ++i) {
        idle.push_back(std::make_unique<RawHttp>(port, "127.0.0.1"));
        ASSERT_TRUE(idle.back()->Connected());
        ASSERT_TRUE(idle.back()->Send("GET / HTTP/1.1\r\n"));  // and never more
    }
    RawHttp extra(port, "127.0.0.1");  // the 101st from that address
    bool extraClosed = false;
    extra.ReadAll(3s, extraClosed);
    EXPECT_TRUE(extraClosed);

    RawHttp other(port, "127.0.0.2");
    ASSERT_TRUE(other.Send(kGet));
    const std::string answer = other.ReadAnswer(3s);
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer;
    EXPECT_NE(answer.find("<p>portal</p>"), std::string::npos);

    int held = 0;
    for (auto& c : idle) held += c->ClosedByPeer() ? 0 : 1;
    EXPECT_EQ(held, 100);
}

// A request must be whole within the time-out however steadily it trickles, and an idle
// connection goes the same way; an answered one gets the time-out afresh.
TEST_F(HostileWebTest, RequestMustArriveWholeWithinTheTimeout) {
    WebLimits limits;
    limits.requestTimeout = 300ms;
    const int port = Start(limits);

    RawHttp idle(port, "127.0.0.1");
    RawHttp trickle(port, "127.0.0.2");
    ASSERT_TRUE(trickle.Send("GET / HTTP/1.1\r\nX-Slow: "));
    // 100 bytes 50 ms apart: five seconds of steady input that never finishes the request.
    int sent = 0;
    bool cut = false;
    while (sent < 100 && !cut) {
        std::this_thread::sleep_for(50ms);
        cut = !trickle.Send("a") || trickle.ClosedByPeer();
        if (!cut) ++sent;
    }
    EXPECT_TRUE(cut) << "trickled " << sent << " bytes uncut";
    bool idleClosed = false;
    idle.ReadAll(3s, idleClosed);
    EXPECT_TRUE(idleClosed);

    RawHttp prompt(port, "127.0.0.3");
    ASSERT_TRUE(prompt.Send(kGet));
    EXPECT_EQ(prompt.ReadAnswer(3s).rfind("HTTP/1.1 200", 0), 0u);
    ASSERT_TRUE(prompt.Send(kGet));  // the same connection, kept open for a second request
    EXPECT_EQ(prompt.ReadAnswer(3s).rfind("HTTP/1.1 200", 0), 0u);
}

// Endless header lines are cut at the header bound with memory unchanged; too many headers
// and an announced oversized body are refused before the body is sent.
TEST_F(HostileWebTest, OversizedRequestsAreRefusedBeforeTheyCostMemory) {
    WebLimits limits;
    limits.maxHeaderBytes = 8 * 1024;
    limits.maxHeaders = 20;
    limits.maxBodyBytes = 1024;
    const int port = Start(limits);

    const std::size_t before = ResidentBytes();
    constexpr std::size_t kFlood = 10 * 1024 * 1024;
    std::string chunk;
    while (chunk.size() < 64 * 1024) chunk += "X-Flood: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\r\n";
    RawHttp flood(port, "127.0.0.1");
    ASSERT_TRUE(flood.Send("GET / HTTP/1.1\r\nHost: t\r\n"));
    std::size_t sent = 0;
    while (sent < kFlood && flood.Send(chunk)) sent += chunk.size();
    bool closed = false;
    const std::string answer = flood.ReadAll(3s, closed);
    const std::size_t after = ResidentBytes();
    EXPECT_LT(sent, kFlood) << "10 MB of header lines were taken in";
    EXPECT_TRUE(closed);
    EXPECT_TRUE(answer.empty() || answer.rfind("HTTP/1.1 431", 0) == 0) << answer;
    EXPECT_LT(after, before + 10 * 1024 * 1024);

    RawHttp many(port, "127.0.0.2");
    std::string headers = "GET / HTTP/1.1\r\nHost: t\r\n";
    for (int i = 0; i < 30; ++i) headers += "X-" + std::to_string(i) + ": v\r\n";
    ASSERT_TRUE(many.Send(headers + "\r\n"));
    EXPECT_EQ(many.ReadAnswer(3s).rfind("HTTP/1.1 431", 0), 0u);

    // Only the headers go out; the answer must not wait for ten million bytes.
    RawHttp big(port, "127.0.0.3");
    ASSERT_TRUE(
        big.Send("POST /ch/user/ HTTP/1.1\r\nHost: t\r\nContent-Type: "
                 "application/x-www-form-urlencoded\r\nContent-Length: 10000000\r\n\r\n"));
    EXPECT_EQ(big.ReadAnswer(3s).rfind("HTTP/1.1 413", 0), 0u);
    EXPECT_FALSE(accounts->Exists("x"));
}

// The forms still answer, logging one clean line, and a full form queue is answered as
// busy without touching the accounts.
TEST_F(HostileWebTest, FormsAnswerAndAFullQueueIsRefusedAsBusy) {
    const auto post = [](int port, const std::string& body) {
        RawHttp c(port, "127.0.0.1");
        c.Send(
            "POST /ch/user/ HTTP/1.1\r\nHost: t\r\nContent-Type: "
            "application/x-www-form-urlencoded\r\nContent-Length: " +
            std::to_string(body.size()) + "\r\n\r\n" + body);
        return c.ReadAnswer(5s);
    };
    WebLimits limits;
    int port = Start(limits);
    const std::string made = post(port, "name=ann%22%0Aevil&password=pw&password2=pw");
    EXPECT_NE(made.find("A name has 1 to 32"), std::string::npos);  // a line break is no name
    const std::string ok = post(port, "name=ann&password=pw&password2=pw&name=bob");
    EXPECT_NE(ok.find("Your account &quot;ann&quot; is ready."), std::string::npos) << ok;
    EXPECT_TRUE(accounts->Exists("ann"));
    EXPECT_FALSE(accounts->Exists("bob"));
    EXPECT_EQ(logText.str(), "zorvid: account \"ann\" registered on the web site\n");

    site.reset();
    limits.formQueue = 0;
    port = Start(limits);
    const std::string busy = post(port, "name=carl&password=pw&password2=pw");
    EXPECT_EQ(busy.rfind("HTTP/1.1 503", 0), 0u) << busy;
    EXPECT_NE(busy.find("The server is busy."), std::string::npos);
    EXPECT_FALSE(accounts->Exists("carl"));
}

TEST(WebLimitsConfig, KeysAreReadAndNonsenseRefused) {
    ServerConfig c;
    ApplyConfigText(R"({"web-max-connections": 9, "web-max-per-address": 3,
        "web-max-header-bytes": 4096, "web-max-headers": 7, "web-max-body-bytes": 100,
        "web-request-timeout": 2.5, "hash-threads": 3, "hash-queue": 5, "hash-wait": 1})",
                    "/", c);
    EXPECT_EQ(c.web.maxConnections, 9u);
    EXPECT_EQ(c.web.maxPerAddress, 3u);
    EXPECT_EQ(c.web.maxHeaderBytes, 4096u);
    EXPECT_EQ(c.web.maxHeaders, 7u);
    EXPECT_EQ(c.web.maxBodyBytes, 100u);
    EXPECT_EQ(c.web.requestTimeout, 2500ms);
    EXPECT_EQ(c.hash.concurrency, 3u);
    EXPECT_EQ(c.hash.queueBound, 5u);
    EXPECT_EQ(c.hash.maxWait, 1000ms);
    EXPECT_NO_THROW(ValidateConfig(c));
    for (const char* bad : {R"({"web-max-per-address": 0})", R"({"web-max-header-bytes": 100})",
                            R"({"web-request-timeout": 0})"}) {
        ServerConfig d;
        ApplyConfigText(bad, "/", d);
        EXPECT_THROW(ValidateConfig(d), ConfigError) << bad;
    }
}

// With a certificate the site speaks HTTPS only: a TLS visitor checking the CA gets the
// page, a plain one no page at all.
TEST_F(HostileWebTest, WithACertificateThePagesGoOverHttpsOnly) {
    const auto& certs = TestCerts::Get();
    site = std::make_unique<WebSite>((dir / "site").string(), *accounts, log, WebLimits{});
    site->UseTls(certs.cert, certs.key);
    const int port = site->Start("127.0.0.1", 0);

    TestClient::tls = TlsContext::ForClient(certs.ca);
    TestClient secure;
    ASSERT_TRUE(secure.Connect(port)) << secure.TlsError();
    ASSERT_TRUE(secure.SendRaw("GET / HTTP/1.0\r\nHost: localhost\r\n\r\n"));
    secure.WaitClosed();
    TestClient::tls.reset();
    EXPECT_EQ(secure.Buffered().rfind("HTTP/1.1 200", 0), 0u) << secure.Buffered();
    EXPECT_NE(secure.Buffered().find("<p>portal</p>"), std::string::npos);

    RawHttp plain(port, "127.0.0.1");
    ASSERT_TRUE(plain.Connected() && plain.Send(kGet));
    bool closed = false;
    EXPECT_EQ(plain.ReadAll(2000ms, closed).find("portal"), std::string::npos);
}

}  // namespace
}  // namespace zorvid::test
