// The shipped HAProxy configuration in front of three ordinary zorvid processes, each on its
// own loopback address with its own account file and the same ports: every port the proxy
// forwards reaches a node on the same port, the nodes take turns, and a node that dies is
// passed over.
#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "net/protocol.h"
#include "tests/cluster/haproxy_fixture.h"
#include "tests/server/child_process.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;
const std::string kZorvid = KV_ZORVID_PROGRAM;
const std::string kHaproxy = KV_HAPROXY_PROGRAM;
const std::string kConfig = KV_HAPROXY_CONFIG;
constexpr int kChatPorts = 4;
// The proxy's limits per client address, lowered for the test.
constexpr int kMaxPerAddress = 8;
constexpr int kConnectBurst = 30;

TEST(BalancerConfig, HaproxyAcceptsTheShippedConfiguration) {
    ASSERT_FALSE(kHaproxy.empty()) << "haproxy is not installed (scripts/install-deps.sh)";
    std::string out, err;
    EXPECT_EQ(RunProgram(kHaproxy, {"-c", "-f", kConfig}, "", out, err), 0) << out << err;
}

// Each node names itself in what it answers: its only room is called "nK", and on joining
// it pushes the portal address "http://nK.invalid/".
std::string NodeName(int node) { return "n" + std::to_string(node); }
std::string PortalOf(int node) { return "http://" + NodeName(node) + ".invalid/"; }

class Balancer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(kHaproxy.empty()) << "haproxy is not installed (scripts/install-deps.sh)";
        dir_.path = std::filesystem::temp_directory_path() /
                    ("zorvid-balancer-" + std::to_string(::getpid()) + "-" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_.path);

        // Login, service and statistics ports, then the chat range, all in one row.
        std::vector<std::string> addresses = {kProxyAddress};
        addresses.insert(addresses.end(), kNodeAddresses.begin(), kNodeAddresses.end());
        const int first = FreePortRange(3 + kChatPorts, addresses);
        ASSERT_GT(first, 0) << "no free ports";
        loginPort_ = first;
        servicePort_ = first + 1;
        const int statsPort = first + 2;
        chatFirst_ = first + 3;
        const int chatLast = chatFirst_ + kChatPorts - 1;

        for (int i = 0; i < 3; ++i) {
            const int node = i + 1;
            const auto config = dir_.path / (NodeName(node) + ".conf");
            // Each node keeps its own logins and the proxy spreads connections over them,
            // so joins are not tied to logins here.
            std::ofstream(config.string())
                << R"({"pwhash": "min", "open-registration": true, "require-login": false,)"
                << R"( "proxy-from": [")" << kProxySource << R"("],)"
                << R"( "rooms": [{"name": ")" << NodeName(node) << R"(", "marker": "a"}],)"
                << R"( "portal-on-join": ")" << PortalOf(node) << R"("})";
            ASSERT_TRUE(nodes_[i].Start(
                kZorvid,
                {"--config", config.string(), "--bind", kNodeAddresses[i], "--login-port",
                 std::to_string(loginPort_), "--service-port", std::to_string(servicePort_),
                 "--chat-ports", std::to_string(chatFirst_) + "-" + std::to_string(chatLast),
                 "--http-port", "-1", "--db", (dir_.path / (NodeName(node) + ".db")).string()}));
            ASSERT_TRUE(nodes_[i].AwaitErrorLine("zorvid: listening ", Ms(10000))) << nodes_[i].err;
        }

        const std::map<std::string, std::string> environment = {
            {"ZORVID_LB_ADDRESS", kProxyAddress},
            {"ZORVID_LOGIN_PORT", std::to_string(loginPort_)},
            {"ZORVID_SERVICE_PORT", std::to_string(servicePort_)},
            {"ZORVID_CHAT_FIRST", std::to_string(chatFirst_)},
            {"ZORVID_CHAT_LAST", std::to_string(chatLast)},
            {"ZORVID_LB_STATS_PORT", std::to_string(statsPort)},
            {"ZORVID_NODE1", kNodeAddresses[0]},
            {"ZORVID_NODE2", kNodeAddresses[1]},
            {"ZORVID_NODE3", kNodeAddresses[2]},
            {"ZORVID_MAX_PER_ADDRESS", std::to_string(kMaxPerAddress)},
            {"ZORVID_CONNECT_BURST", std::to_string(kConnectBurst)},
            {"ZORVID_PROXY_SOURCE", kProxySource},
        };
        ASSERT_TRUE(haproxy_.Start(kHaproxy, kConfig, environment, kProxyAddress,
                                   {loginPort_, servicePort_, chatFirst_, chatLast}, Ms(10000)))
            << haproxy_.Log();
    }

    // The node (1 to 3) whose room list a service request through the proxy brought back;
    // 0 when none came.
    int ServiceNode() {
        CMsg reply;
        if (!TestClient::Exchange(servicePort_, CMsg(code1::kRequest, code2::kChannelListRequest),
                                  reply) ||
            !reply.Is(code1::kReply, code2::kChannelList) || reply.list.size() != 1) {
            return 0;
        }
        for (int node = 1; node <= 3; ++node) {
            if (reply.list[0] == "a" + NodeName(node)) return node;
        }
        return 0;
    }

    // Connects from `from` and asks the service port for the room list, keeping the
    // connection; true when the list came back.
    bool Served(TestClient& client, const char* from) {
        CMsg reply;
        return client.Connect(servicePort_, from) &&
               client.Send(CMsg(code1::kRequest, code2::kChannelListRequest)) &&
               client.Receive(reply) && reply.Is(code1::kReply, code2::kChannelList);
    }

    // The node that accepted a login of `name` through the proxy (each node logs it); 0 when
    // the login was not accepted.
    int LoginNode(const std::string& name) {
        CMsg request(code1::kUserAction, code2::kLogin), reply;
        request.text = name;
        request.list = {"secret"};
        if (!TestClient::Exchange(loginPort_, request, reply) ||
            !reply.Is(code1::kReply, code2::kLoginAccepted)) {
            return 0;
        }
        const std::string line = "login of \"" + name + "\"";
        const auto deadline = std::chrono::steady_clock::now() + Ms(5000);
        while (std::chrono::steady_clock::now() < deadline) {
            for (int i = 0; i < 3; ++i) {
                if (nodes_[i].AwaitErrorLine(line, Ms(20))) return i + 1;
            }
        }
        return 0;
    }

    // Joins `name` on the first chat port through the proxy and keeps the connection; the
    // node that took it, or 0.
    int JoinNode(const std::string& name, TestClient& client) {
        std::string answer;
        CMsg portal;
        if (!client.Connect(chatFirst_) || !client.SendBare(name) || !client.ReceiveBare(answer) ||
            answer != "OK" || !client.ReceiveCode(code2::kPortalAddress, portal)) {
            return 0;
        }
        for (int node = 1; node <= 3; ++node) {
            if (portal.text == PortalOf(node)) return node;
        }
        return 0;
    }

    // Removed last, once the processes in it are gone.
    struct TempDir {
        std::filesystem::path path;
        ~TempDir() {
            if (!path.empty()) std::filesystem::remove_all(path);
        }
    } dir_;
    std::array<ChildProcess, 3> nodes_;
    HaproxyProcess haproxy_;
    int loginPort_ = 0, servicePort_ = 0, chatFirst_ = 0;
};

const std::set<int> kAllNodes = {1, 2, 3};

TEST_F(Balancer, EachPortReachesTheSamePortOnEveryNodeInTurn) {
    std::set<int> login, service;
    for (int i = 0; i < 6; ++i) {
        const int byLogin = LoginNode("ann" + std::to_string(i));
        const int byService = ServiceNode();
        EXPECT_NE(byLogin, 0) << haproxy_.Log();
        EXPECT_NE(byService, 0) << haproxy_.Log();
        login.insert(byLogin);
        service.insert(byService);
    }
    EXPECT_EQ(login, kAllNodes);
    EXPECT_EQ(service, kAllNodes);

    // Chat connections stay open; each new one goes to a node with the fewest.
    std::array<TestClient, 3> people;
    std::set<int> chat;
    for (int i = 0; i < 3; ++i) {
        const int node = JoinNode("bob" + std::to_string(i), people[i]);
        EXPECT_NE(node, 0) << haproxy_.Log();
        chat.insert(node);
    }
    EXPECT_EQ(chat, kAllNodes);
}

TEST_F(Balancer, AKilledNodeIsPassedOver) {
    nodes_[1].Signal(SIGKILL);
    ASSERT_TRUE(nodes_[1].Finish(Ms(5000)).has_value());

    // Before the health checks notice, a connection the dead node refuses is tried on
    // another node: the client sees no failure.
    std::set<int> reached;
    for (int i = 0; i < 6; ++i) {
        const int node = ServiceNode();
        EXPECT_NE(node, 0) << haproxy_.Log();
        reached.insert(node);
    }
    EXPECT_EQ(reached.count(2), 0u);

    // The checks take it out.
    ASSERT_TRUE(haproxy_.AwaitLog("Server nodes/n2 is DOWN", Ms(10000))) << haproxy_.Log();
    reached.clear();
    for (int i = 0; i < 6; ++i) reached.insert(LoginNode("carl" + std::to_string(i)));
    EXPECT_EQ(reached, (std::set<int>{1, 3})) << haproxy_.Log();
}

// The nodes see every client as the proxy, so the proxy applies the limits per address, on
// the client's own address.
TEST_F(Balancer, TheProxyLimitsEachClientAddress) {
    std::array<TestClient, kMaxPerAddress> held;
    for (auto& client : held) ASSERT_TRUE(Served(client, "127.0.0.5")) << haproxy_.Log();
    TestClient overLimit;
    EXPECT_FALSE(Served(overLimit, "127.0.0.5"));
    TestClient elsewhere;
    EXPECT_TRUE(Served(elsewhere, "127.0.0.6"));

    // New connections, each closed after its answer: the burst, then none.
    int served = 0;
    for (int i = 0; i < kConnectBurst + 5; ++i) {
        TestClient client;
        if (Served(client, "127.0.0.7")) ++served;
    }
    EXPECT_EQ(served, kConnectBurst);
    TestClient stillServed;
    EXPECT_TRUE(Served(stillServed, "127.0.0.6"));
}

}  // namespace
}  // namespace zorvid::test
