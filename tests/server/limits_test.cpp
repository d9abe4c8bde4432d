// Hostile clients against the admission limits: the connection cap, the connection rate per
// address, the requests per connection and the back-off after failed logins. The service's
// clock is the test's, so back-offs and refills are stepped, never waited for.
#include <gtest/gtest.h>
#include <sodium.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "net/protocol.h"
#include "server/core/address_rate_limit.h"
#include "server/core/login_registry.h"
#include "server/core/sqlite_account_store.h"
#include "server/core/zorvi_server.h"
#include "tests/server/in_process_server.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;
using std::chrono::seconds;

class Limits : public InProcessServer<> {
protected:
    void SetUp() override {
        InProcessServer::SetUp();
        // Long enough that a connection closed within a test's waits was refused, not idle.
        config.handshakeTimeout = seconds(60);
        config.connectRatePerAddress = 0;
    }

    void StartServer() {
        const auto start = std::chrono::steady_clock::now();
        InProcessServer::StartServer([this, start] { return start + Ms(offsetMs_); });
    }

    // Steps the service's clock.
    void Advance(Ms by) { offsetMs_ += by.count(); }

    // A version check on an open connection, answered.
    static bool Served(TestClient& c) {
        CMsg version(code1::kRequest, code2::kVersionCheck), reply;
        version.number = zorvi::kClientVersion;
        return c.Send(version) && c.Receive(reply) && reply.Is(code1::kReply, code2::kVersionCheck);
    }

    // Closed by the service with not a byte sent: refused at the door.
    static bool Refused(TestClient& c) { return c.WaitClosed(Ms(3000)) && c.Buffered().empty(); }

    // The login answer's code2, or -1 when none came.
    int LoginAnswer(const std::string& name, const std::string& password, const char* local) {
        CMsg req(code1::kUserAction, code2::kLogin), reply;
        req.text = name;
        req.list = {password};
        return TestClient::Exchange(server->LoginPort(), req, reply, local) ? reply.code2 : -1;
    }

    std::atomic<long long> offsetMs_{0};
};

TEST_F(Limits, TheConnectionCapRefusesBeyondItAndServesAgainAfterOneCloses) {
    config.maxConnections = 3;
    StartServer();
    std::vector<std::unique_ptr<TestClient>> open;
    for (int i = 0; i < 3; ++i) {
        open.push_back(std::make_unique<TestClient>());
        ASSERT_TRUE(
            open.back()->Connect(server->ServicePort(), i == 0 ? "127.0.0.2" : "127.0.0.3"));
        ASSERT_TRUE(Served(*open.back())) << i;
    }
    // The cap holds on every port and for every address.
    TestClient service, login;
    ASSERT_TRUE(service.Connect(server->ServicePort(), "127.0.0.4"));
    EXPECT_TRUE(Refused(service));
    ASSERT_TRUE(login.Connect(server->LoginPort(), "127.0.0.5"));
    EXPECT_TRUE(Refused(login));

    // One leaves; its place is given again once the service has seen it go.
    open.front()->Disconnect();
    bool servedAgain = false;
    const auto deadline = std::chrono::steady_clock::now() + seconds(5);
    while (!servedAgain && std::chrono::steady_clock::now() < deadline) {
        TestClient again;
        servedAgain = again.Connect(server->ServicePort(), "127.0.0.4") && Served(again);
    }
    EXPECT_TRUE(servedAgain);
    EXPECT_TRUE(Served(*open.back()));
}

TEST_F(Limits, AnAddressConnectingTooFastIsRefusedWhileAnotherIsServed) {
    config.connectRatePerAddress = 1;
    config.connectBurstPerAddress = 4;
    StartServer();
    for (int i = 0; i < 4; ++i) {
        TestClient c;
        ASSERT_TRUE(c.Connect(server->ServicePort(), "127.0.0.2"));
        ASSERT_TRUE(Served(c)) << i;
    }
    // The burst is spent and the clock stands still: no refill.
    for (int port : {server->ServicePort(), server->LoginPort()}) {
        TestClient c;
        ASSERT_TRUE(c.Connect(port, "127.0.0.2"));
        EXPECT_TRUE(Refused(c)) << port;
    }
    TestClient other;
    ASSERT_TRUE(other.Connect(server->ServicePort(), "127.0.0.3"));
    EXPECT_TRUE(Served(other));

    // A second refills one connection, and only one.
    Advance(seconds(1));
    TestClient next, beyond;
    ASSERT_TRUE(next.Connect(server->ServicePort(), "127.0.0.2"));
    EXPECT_TRUE(Served(next));
    ASSERT_TRUE(beyond.Connect(server->ServicePort(), "127.0.0.2"));
    EXPECT_TRUE(Refused(beyond));
    EXPECT_NE(StopAndReadLog().find("connection from 127.0.0.2 refused: connecting too fast"),
              std::string::npos);
}

TEST_F(Limits, LoginAndServiceConnectionsEndAfterTheirRequestLimit) {
    config.maxRequestsPerConnection = 3;
    StartServer();
    CMsg version(code1::kRequest, code2::kVersionCheck), reply;
    version.number = zorvi::kClientVersion;
    std::string five;
    for (int i = 0; i < 5; ++i) five += zorvi::EncodeMsg(version);

    TestClient service;
    ASSERT_TRUE(service.Connect(server->ServicePort()));
    ASSERT_TRUE(service.SendRaw(five));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(service.Receive(reply)) << i;
        EXPECT_TRUE(reply.Is(code1::kReply, code2::kVersionCheck));
    }
    EXPECT_TRUE(service.WaitClosed());
    EXPECT_TRUE(service.Buffered().empty()) << "answered past the limit";

    // Records the login port does not answer count as well.
    TestClient login;
    ASSERT_TRUE(login.Connect(server->LoginPort()));
    ASSERT_TRUE(login.SendRaw(five));
    EXPECT_TRUE(login.WaitClosed());
    EXPECT_TRUE(login.Buffered().empty());

    // Up to the limit a connection is served as before.
    TestClient within;
    ASSERT_TRUE(within.Connect(server->ServicePort()));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Served(within)) << i;
    EXPECT_NE(StopAndReadLog().find("service connection from 127.0.0.1 closed: over 3 requests"),
              std::string::npos);
}

TEST_F(Limits, FailedLoginsBackOffPerNameAndPerAddress) {
    config.loginFreeFailuresPerName = 2;
    config.loginFreeFailuresPerAddress = 4;
    config.loginBackoff = seconds(10);
    config.loginBackoffMax = seconds(40);
    StartServer();
    ASSERT_EQ(accounts->Register("ann", "right"), RegisterOutcome::Created);
    const int accepted = code2::kLoginAccepted, refused = code2::kLoginRefused;

    // Three wrong passwords for ann: the third starts the name's back-off.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(LoginAnswer("ann", "wrong", "127.0.0.2"), refused);
    // Now even the right password is refused, with the ordinary answer, from any address.
    EXPECT_EQ(LoginAnswer("ann", "right", "127.0.0.2"), refused);
    EXPECT_EQ(LoginAnswer("ann", "right", "127.0.0.3"), refused);
    Advance(seconds(9));
    EXPECT_EQ(LoginAnswer("ann", "right", "127.0.0.3"), refused);
    // The refusals while backing off did not lengthen it: the first wait was 10 s.
    Advance(seconds(1));
    EXPECT_EQ(LoginAnswer("ann", "right", "127.0.0.3"), accepted);
    EXPECT_EQ(LoginAnswer("ann", "right", "127.0.0.2"), accepted);  // the success cleared it

    // One address spraying unknown names backs off after its five failures, for every name.
    for (const char* name : {"x1", "x2", "x3", "x4", "x5"})
        EXPECT_EQ(LoginAnswer(name, "guess", "127.0.0.4"), refused);
    EXPECT_EQ(LoginAnswer("ann", "right", "127.0.0.4"), refused);
    EXPECT_EQ(LoginAnswer("ann", "right", "127.0.0.5"), accepted);

    const std::string logText = StopAndReadLog();
    EXPECT_NE(logText.find("login of \"ann\" from 127.0.0.3 refused: backing off after 3 failed "
                           "logins of the name (next check in 10 s)"),
              std::string::npos)
        << logText;
    EXPECT_NE(logText.find("login of \"ann\" from 127.0.0.3 refused: backing off after 3 failed "
                           "logins of the name (next check in 1 s)"),
              std::string::npos);
    EXPECT_NE(logText.find("login of \"ann\" from 127.0.0.4 refused: backing off after 5 failed "
                           "logins from the address (next check in 10 s)"),
              std::string::npos);
}

TEST(AdmissionTables, BackOffDoublesUpToTheLongestAndQuietEntriesAreForgotten) {
    LoginThrottle throttle({/*freePerName=*/1, /*freePerAddress=*/100, seconds(1), seconds(4), 8});
    const auto t0 = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    auto t = t0;
    throttle.Failed("bob", "a", t);
    EXPECT_EQ(throttle.Refusal("bob", "a", t), "");  // the free failure
    // Each failure made when allowed doubles the wait: 1 s, 2 s, 4 s, then 4 s again.
    for (const Ms wait : {Ms(1000), Ms(2000), Ms(4000), Ms(4000)}) {
        throttle.Failed("bob", "a", t);
        EXPECT_NE(throttle.Refusal("bob", "b", t + wait - Ms(1)), "") << wait.count();
        EXPECT_EQ(throttle.Refusal("bob", "b", t + wait), "") << wait.count();
        EXPECT_EQ(throttle.Refusal("eve", "a", t), "");  // names back off on their own
        t += wait;
    }
    // Overlong names cannot exist; they share one entry instead of one each.
    throttle.Failed(std::string(100, 'z') + "1", "a", t);
    throttle.Failed(std::string(100, 'z') + "2", "a", t);
    EXPECT_NE(throttle.Refusal(std::string(100, 'z') + "3", "a", t), "");
    EXPECT_EQ(throttle.Tracked(), 3u);  // two names and the address
    throttle.Forget(t + seconds(4) + seconds(4) + seconds(4));
    EXPECT_EQ(throttle.Tracked(), 0u);

    // The connection rate's buckets are forgotten once full again, and only then.
    AddressRateLimit rate(2, 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(rate.Admit("a", t)) << i;
    EXPECT_TRUE(rate.Admit("b", t));
    rate.Forget(t + Ms(1400));  // "a" has 2.8 of 3 back, "b" is full
    EXPECT_EQ(rate.Tracked(), 1u);
    rate.Forget(t + Ms(1500));
    EXPECT_EQ(rate.Tracked(), 0u);

    // An IPv6 site counts as one address; IPv4 addresses count one by one.
    EXPECT_EQ(AddressBlock("2001:db8::1"), AddressBlock("2001:db8::ffff:2"));
    EXPECT_NE(AddressBlock("2001:db8::1"), AddressBlock("2001:db8:0:1::1"));
    EXPECT_EQ(AddressBlock("192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(AddressBlock("::ffff:192.0.2.7"), "::ffff:192.0.2.7");
}

}  // namespace
}  // namespace zorvid::test
