// The PROXY protocol header a TCP proxy sends before its client's bytes: the parser over
// bytes, and the service behind a proxy on 127.0.0.1 over loopback.
#include "server/core/proxy_header.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sodium.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "net/protocol.h"
#include "server/core/server_config.h"
#include "server/core/sqlite_account_store.h"
#include "server/core/zorvi_server.h"
#include "tests/server/in_process_server.h"
#include "tests/server/test_certs.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;
using Status = ProxyHeader::Status;

constexpr unsigned char kLocal = 0x20;  // version 2, command LOCAL
constexpr unsigned char kProxy = 0x21;  // version 2, command PROXY
constexpr unsigned char kTcp4 = 0x11;
constexpr unsigned char kTcp6 = 0x21;

std::string Header(unsigned char command, unsigned char family, const std::string& body,
                   std::size_t announced) {
    std::string h("\r\n\r\n\0\r\nQUIT\n", 12);
    h += static_cast<char>(command);
    h += static_cast<char>(family);
    h += static_cast<char>(announced >> 8);
    h += static_cast<char>(announced & 0xFF);
    return h + body;
}
std::string Header(unsigned char command, unsigned char family, const std::string& body) {
    return Header(command, family, body, body.size());
}

std::string Bytes(int af, const char* text) {
    unsigned char b[16];
    EXPECT_EQ(::inet_pton(af, text, b), 1) << text;
    return std::string(reinterpret_cast<const char*>(b), af == AF_INET ? 4 : 16);
}
// Source and destination addresses, then ports 40000 and 2999.
std::string Tcp(int af, const char* client, const char* proxy) {
    return Header(kProxy, af == AF_INET ? kTcp4 : kTcp6,
                  Bytes(af, client) + Bytes(af, proxy) + std::string("\x9c\x40\x0b\xb7", 4));
}
std::string Tcp4(const char* client) { return Tcp(AF_INET, client, "127.0.0.1"); }

TEST(ProxyHeaderParser, TakesTheClientAddressAndSkipsTheRest) {
    // A TLV (type 0x04, no-op, 3 bytes) after the addresses, then the client's own bytes.
    const std::string tlv("\x04\x00\x03xyz", 6);
    std::string v4 = Tcp4("10.1.2.3");
    v4[15] = static_cast<char>(12 + tlv.size());
    v4 += tlv;
    auto h = ParseProxyHeader(v4 + "client bytes");
    ASSERT_EQ(h.status, Status::Complete) << h.error;
    EXPECT_EQ(h.length, v4.size());
    EXPECT_EQ(h.address, "10.1.2.3");
    EXPECT_FALSE(h.local);

    h = ParseProxyHeader(Tcp(AF_INET6, "2001:db8::5", "::1"));
    ASSERT_EQ(h.status, Status::Complete) << h.error;
    EXPECT_EQ(h.length, 16u + 36u);
    EXPECT_EQ(h.address, "2001:db8::5");
    // An IPv4 client through a dual-stack proxy is an IPv4 client.
    EXPECT_EQ(ParseProxyHeader(Tcp(AF_INET6, "::ffff:10.9.8.7", "::1")).address, "10.9.8.7");

    // No client to name: the proxy's own health check (LOCAL, with or without addresses),
    // an unspecified or a UNIX family.
    for (const auto& bare :
         {Header(kLocal, 0x00, ""), Header(kLocal, kTcp4, Bytes(AF_INET, "1.2.3.4")),
          Header(kProxy, 0x00, ""), Header(kProxy, 0x31, std::string(216, 'u'))}) {
        h = ParseProxyHeader(bare);
        EXPECT_EQ(h.status, Status::Complete) << h.error;
        EXPECT_EQ(h.length, bare.size());
        EXPECT_EQ(h.address, "");
        EXPECT_EQ(h.local, static_cast<unsigned char>(bare[12]) == kLocal);
    }
    // The largest header taken.
    h = ParseProxyHeader(Header(kProxy, kTcp4, Bytes(AF_INET, "10.1.2.3") + std::string(508, 0)));
    EXPECT_EQ(h.status, Status::Complete) << h.error;
    EXPECT_EQ(h.length, kProxyHeaderFixedBytes + kProxyHeaderMaxPayload);
}

TEST(ProxyHeaderParser, EveryTruncatedHeaderWaitsForMore) {
    for (const auto& whole : {Tcp4("10.1.2.3"), Tcp(AF_INET6, "2001:db8::5", "::1")}) {
        for (std::size_t n = 0; n < whole.size(); ++n)
            EXPECT_EQ(ParseProxyHeader(whole.substr(0, n)).status, Status::NeedMore) << n;
    }
}

TEST(ProxyHeaderParser, RefusesWhatIsNotAHeaderItCanUseAsSoonAsItShows) {
    const std::string v4 = Tcp4("10.1.2.3");
    struct Case {
        std::string bytes;
        std::string error;
    };
    const Case cases[] = {
        // A client without a proxy: its first byte tells.
        {std::string(1, '\0'), "no PROXY protocol signature"},
        {"\x16\x03\x01", "no PROXY protocol signature"},  // a TLS ClientHello
        {"PROXY TCP4 10.1.2.3 127.0.0.1 40000 2999\r\n", "no PROXY protocol signature"},
        {v4.substr(0, 11) + "X", "no PROXY protocol signature"},
        {Header(0x31, kTcp4, ""), "PROXY protocol version 3"},
        {Header(0x22, kTcp4, ""), "unknown PROXY command 2"},
        // Oversized: refused on the fixed part, before any of the rest is waited for.
        {Header(kProxy, kTcp4, "", 513), "PROXY header of 513 address bytes"},
        {Header(kLocal, 0x00, "", 0xFFFF), "PROXY header of 65535 address bytes"},
        {Header(kProxy, 0x41, ""), "unknown PROXY address family"},
        {Header(kProxy, 0x13, ""), "unknown PROXY address family"},
        {Header(kProxy, 0x12, std::string(12, 0)), "PROXY header for another transport than TCP"},
        {Header(kProxy, kTcp4, "", 8), "PROXY header too short for its addresses"},
        {Header(kProxy, kTcp6, "", 12), "PROXY header too short for its addresses"},
    };
    for (const auto& c : cases) {
        const auto h = ParseProxyHeader(c.bytes);
        EXPECT_EQ(h.status, Status::Bad) << c.error;
        EXPECT_EQ(h.error, c.error);
    }
}

TEST(ProxyPeersTest, MatchesListedAddressesAlsoDualStackAndRefusesOthersInTheConfiguration) {
    const ProxyPeers peers({"127.0.0.9", "::1"});
    EXPECT_TRUE(peers.Contains(asio::ip::make_address("127.0.0.9")));
    EXPECT_TRUE(peers.Contains(asio::ip::make_address("::ffff:127.0.0.9")));
    EXPECT_TRUE(peers.Contains(asio::ip::make_address("::1")));
    EXPECT_FALSE(peers.Contains(asio::ip::make_address("127.0.0.1")));
    EXPECT_FALSE(ProxyPeers().Contains(asio::ip::make_address("127.0.0.9")));

    ServerConfig config;
    ApplyConfigText(R"({"proxy-from": ["127.0.0.9", "proxy.example"]})", ".", config);
    try {
        ValidateConfig(config);
        ADD_FAILURE() << "a host name was taken for an address";
    } catch (const ConfigError& e) {
        EXPECT_STREQ(e.what(), "proxy-from: \"proxy.example\" is not an IP address");
    }
}

// The service with a proxy on 127.0.0.1; other loopback addresses are direct clients.
class BehindAProxy : public InProcessServer<> {
protected:
    void SetUp() override {
        InProcessServer::SetUp();
        config.openRegistration = true;
        config.connectRatePerAddress = 0;
        config.rooms.push_back({"Lobby", 'a', {}});
        config.proxyFrom = {"127.0.0.1"};
    }

    // Connects from `local`, first sending `header` when it is not empty.
    static bool Connect(TestClient& c, int port, const std::string& header, const char* local) {
        c.preface = header;
        return c.Connect(port, local);
    }

    // The login answer's code2; -1 when none came.
    int Login(const std::string& name, const std::string& header, const char* local = "127.0.0.1") {
        TestClient c;
        CMsg req(code1::kUserAction, code2::kLogin), reply;
        req.text = name;
        req.list = {"pw"};
        if (!Connect(c, server->LoginPort(), header, local) || !c.Send(req) || !c.Receive(reply))
            return -1;
        return reply.code2;
    }

    int LobbyPort() {
        TestClient c;
        CMsg req(code1::kRequest, code2::kRoomLookUp), reply;
        req.text = "Lobby";
        if (!Connect(c, server->ServicePort(), Tcp4("10.0.0.1"), "127.0.0.1") || !c.Send(req) ||
            !c.Receive(reply) || reply.array.empty()) {
            return -1;
        }
        return reply.array[0];
    }

    // The join answer; "" when the service closed the connection without one.
    static std::string Join(TestClient& c, int port, const std::string& name,
                            const std::string& header, const char* local = "127.0.0.1") {
        std::string answer;
        if (!Connect(c, port, header, local) || !c.SendBare(name) || !c.ReceiveBare(answer))
            return "";
        return answer;
    }
};

TEST_F(BehindAProxy, TheHeadersAddressIsTheClientsForTheLoginRuleAndTheLog) {
    StartServer();
    const int lobby = LobbyPort();
    ASSERT_GT(lobby, 0);

    ASSERT_EQ(Login("ann", Tcp4("10.1.2.3")), code2::kLoginAccepted);
    TestClient direct, otherClient, ann;
    // ann logged in from 10.1.2.3: not from the proxy's address nor another client's.
    EXPECT_EQ(Join(direct, lobby, "ann", "", "127.0.0.2"), "");
    EXPECT_EQ(Join(otherClient, lobby, "ann", Tcp4("10.1.2.4")), "");
    EXPECT_EQ(Join(ann, lobby, "ann", Tcp4("10.1.2.3")), "OK");
    ann.Disconnect();

    EXPECT_EQ(Login("bob", Tcp(AF_INET6, "2001:db8::5", "::1")), code2::kLoginAccepted);
    // The proxy's health check speaks for itself; its header may come in pieces.
    TestClient check;
    const std::string local = Header(kLocal, 0x00, "");
    CMsg req(code1::kUserAction, code2::kLogin), reply;
    req.text = "cid";
    req.list = {"pw"};
    ASSERT_TRUE(Connect(check, server->LoginPort(), "", "127.0.0.1"));
    check.SetNoDelay();
    ASSERT_TRUE(check.SendPlain(local.substr(0, 5)) && check.SendPlain(local.substr(5)) &&
                check.Send(req) && check.Receive(reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kLoginAccepted));

    const std::string log = StopAndReadLog();
    EXPECT_NE(log.find("login of \"ann\" from 10.1.2.3"), std::string::npos) << log;
    EXPECT_NE(log.find("join of \"ann\" from 127.0.0.2 to \"Lobby\" refused"), std::string::npos);
    EXPECT_NE(log.find("join of \"ann\" from 10.1.2.4 to \"Lobby\" refused"), std::string::npos);
    EXPECT_NE(log.find("\"ann\" joined \"Lobby\" from 10.1.2.3"), std::string::npos) << log;
    EXPECT_NE(log.find("login of \"bob\" from 2001:db8::5"), std::string::npos) << log;
    EXPECT_NE(log.find("login of \"cid\" from 127.0.0.1"), std::string::npos) << log;
}

TEST_F(BehindAProxy, TheAdmissionLimitsCountTheProxy) {
    config.maxConnectionsPerAddress = 1;
    StartServer();
    TestClient held, second;
    ASSERT_TRUE(Connect(held, server->ServicePort(), Tcp4("10.1.2.3"), "127.0.0.1"));
    ASSERT_TRUE(Connect(second, server->ServicePort(), Tcp4("10.1.2.4"), "127.0.0.1"));
    EXPECT_TRUE(second.WaitClosed(Ms(3000)));
    EXPECT_TRUE(second.Buffered().empty());
    held.Disconnect();
    // Each closed connection frees the place it took, under the address it was counted by.
    for (const char* client : {"10.1.2.3", "10.1.2.4", "10.1.2.5"}) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool served = false;
        while (!served && std::chrono::steady_clock::now() < deadline) {
            served = Login("ann", Tcp4(client)) == code2::kLoginAccepted;
            if (!served) std::this_thread::sleep_for(Ms(20));
        }
        EXPECT_TRUE(served) << client;
    }
}

TEST_F(BehindAProxy, OnlyTheProxyMaySendAHeaderAndItMust) {
    StartServer();
    // Another peer's header is a bad record like any other bytes.
    EXPECT_EQ(Login("eve", Tcp4("10.1.2.3"), "127.0.0.2"), -1);
    // The proxy without a header: silent until the handshake time-out, or plain bytes.
    TestClient silent, plain, huge;
    ASSERT_TRUE(Connect(silent, server->LoginPort(), "", "127.0.0.1"));
    EXPECT_TRUE(silent.WaitClosed(Ms(5000)));
    EXPECT_EQ(Login("eve", ""), -1);
    // A header announcing more than is taken is closed on its first 16 bytes.
    ASSERT_TRUE(Connect(huge, server->ServicePort(), Header(kProxy, kTcp4, "", 4096), "127.0.0.1"));
    EXPECT_TRUE(huge.WaitClosed(Ms(3000)));
    EXPECT_TRUE(huge.Buffered().empty());

    const std::string log = StopAndReadLog();
    EXPECT_NE(log.find("login connection from 127.0.0.2 closed:"), std::string::npos) << log;
    EXPECT_NE(log.find("login connection from 127.0.0.1 closed: no PROXY header in time"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("login connection from 127.0.0.1 closed: bad PROXY header: no PROXY "
                       "protocol signature"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("service connection from 127.0.0.1 closed: bad PROXY header: PROXY "
                       "header of 4096 address bytes"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("login of \"eve\""), std::string::npos) << log;
}

TEST_F(BehindAProxy, TlsFollowsTheHeader) {
    const auto& certs = TestCerts::Get();
    config.tlsCert = certs.cert;
    config.tlsKey = certs.key;
    TestClient::tls = TlsContext::ForClient(certs.ca);
    StartServer();
    EXPECT_EQ(Login("ann", Tcp4("10.1.2.3")), code2::kLoginAccepted);
    const std::string log = StopAndReadLog();
    EXPECT_NE(log.find("login of \"ann\" from 10.1.2.3"), std::string::npos) << log;
}

}  // namespace
}  // namespace zorvid::test
