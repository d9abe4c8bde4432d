// Three zorvid nodes joined by a NATS server, with their accounts, room names and logins in
// PostgreSQL, behind the shipped HAProxy configuration: the service's exchanges behave as on
// one node whichever node each person reaches, a killed node's people leave and its rooms
// pass on, and an outage of NATS or PostgreSQL refuses logins and creations in time.
#include <gtest/gtest.h>
#include <signal.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "net/protocol.h"
#include "support_pg/pg_fixture.h"
#include "tests/cluster/haproxy_fixture.h"
#include "tests/cluster/nats_fixture.h"
#include "tests/server/child_process.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;
constexpr int kChatPorts = 8;

class Cluster : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(std::string(KV_HAPROXY_PROGRAM).empty()) << "haproxy is not installed";
        dir_ = std::filesystem::temp_directory_path() /
               ("zorvid-cluster-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        pg_ = std::make_unique<ThrowawayPostgres>();
        ASSERT_TRUE(nats_.Start());

        std::vector<std::string> addresses = {kProxyAddress};
        addresses.insert(addresses.end(), kNodeAddresses.begin(), kNodeAddresses.end());
        const int first = FreePortRange(3 + kChatPorts, addresses);
        ASSERT_GT(first, 0) << "no free ports";
        loginPort_ = first;
        servicePort_ = first + 1;
        chatFirst_ = first + 3;
        // Nodes are silent for 3 s before they count as gone.
        std::ofstream(config_ = (dir_ / "node.conf").string())
            << R"({"pwhash": "min", "open-registration": true, "cluster-node-timeout": 3,)"
            << R"( "proxy-from": [")" << kProxySource << R"("],)"
            << R"( "rooms": [{"name": "Lobby", "marker": "a"}]})";
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(StartNode(i));  // they join side by side
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(AwaitNode(i)) << nodes_[i]->err;

        const std::map<std::string, std::string> environment = {
            {"ZORVID_LB_ADDRESS", kProxyAddress},
            {"ZORVID_LOGIN_PORT", std::to_string(loginPort_)},
            {"ZORVID_SERVICE_PORT", std::to_string(servicePort_)},
            {"ZORVID_CHAT_FIRST", std::to_string(chatFirst_)},
            {"ZORVID_CHAT_LAST", std::to_string(chatFirst_ + kChatPorts - 1)},
            {"ZORVID_LB_STATS_PORT", std::to_string(first + 2)},
            {"ZORVID_NODE1", kNodeAddresses[0]},
            {"ZORVID_NODE2", kNodeAddresses[1]},
            {"ZORVID_NODE3", kNodeAddresses[2]},
            {"ZORVID_PROXY_SOURCE", kProxySource},
        };
        ASSERT_TRUE(haproxy_.Start(KV_HAPROXY_PROGRAM, KV_HAPROXY_CONFIG, environment,
                                   kProxyAddress, {loginPort_, servicePort_, chatFirst_},
                                   Ms(10000)))
            << haproxy_.Log();
    }

    void TearDown() override {
        for (auto& node : nodes_) node.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    bool StartNode(int i) {
        nodes_[i] = std::make_unique<ChildProcess>();
        const std::string chat =
            std::to_string(chatFirst_) + "-" + std::to_string(chatFirst_ + kChatPorts - 1);
        // clang-format off
        return nodes_[i]->Start(KV_ZORVID_PROGRAM, {
            "--config", config_, "--bind", kNodeAddresses[i], "--node", "n" + std::to_string(i + 1),
            "--login-port", std::to_string(loginPort_), "--service-port", std::to_string(servicePort_),
            "--chat-ports", chat, "--http-port", "-1", "--threads", "2", "--db", pg_->Uri(),
            "--cluster", nats_.Url()});
        // clang-format on
    }
    bool AwaitNode(int i) { return nodes_[i]->AwaitErrorLine("zorvid: listening ", Ms(20000)); }

    // Through the proxy; `reply` holds the answer.
    bool Ask(const CMsg& request, CMsg& reply) {
        return TestClient::Exchange(servicePort_, request, reply);
    }
    // Through the proxy from the client address `local`.
    bool Login(const std::string& name, const char* local = "127.0.0.1") {
        CMsg request(code1::kUserAction, code2::kLogin), reply;
        request.text = name;
        request.list = {"pw-" + name};
        return TestClient::Exchange(loginPort_, request, reply, local) &&
               reply.Is(code1::kReply, code2::kLoginAccepted);
    }
    // Through the proxy, or on node `node` (0-2), which is then the room's home.
    int Create(const std::string& room, const std::string& owner, int node = -1) {
        CMsg request(code1::kReply, code2::kCreateRoom), reply;
        request.text = room;
        request.list = {owner};
        TestClient direct;
        const bool answered =
            node < 0 ? Ask(request, reply)
                     : direct.Connect(servicePort_, "127.0.0.1", kNodeAddresses[node].c_str()) &&
                           direct.Send(request) && direct.Receive(reply);
        if (!answered || reply.code2 != code2::kCreateRoom) return -1;
        return reply.number;
    }
    // Joins `port` on node `node` (0-2), or through the proxy when `node` is -1, from the
    // client address `local`.
    std::string Join(TestClient& c, const std::string& name, int port, int node = -1,
                     const char* local = "127.0.0.1") {
        const char* to = node < 0 ? kProxyAddress.c_str() : kNodeAddresses[node].c_str();
        std::string answer;
        if (!c.Connect(port, local, to) || !c.SendBare(name) || !c.ReceiveBare(answer)) return "";
        return answer;
    }
    static CMsg Line(const std::string& text) {
        CMsg m(code1::kUserAction, code2::kChatLine);
        m.text = text;
        return m;
    }
    // How many people node `node` (0-2) lists in `room`, asked on its own service port;
    // -1 when it does not list the room. Room news travels apart from the room's traffic,
    // so this asks again, for at most 5 s, until the count is `want`.
    int CountAt(int node, const std::string& room, int want) {
        const auto deadline = std::chrono::steady_clock::now() + Ms(5000);
        int count = -1;
        do {
            TestClient c;
            CMsg reply;
            count = -1;
            if (c.Connect(servicePort_, "127.0.0.1", kNodeAddresses[node].c_str()) &&
                c.Send(CMsg(code1::kRequest, code2::kChannelListRequest)) && c.Receive(reply)) {
                for (std::size_t i = 0; i < reply.list.size() && i < reply.array.size(); ++i) {
                    if (reply.list[i].substr(1) == room) count = reply.array[i];
                }
            }
            if (count == want) break;
            std::this_thread::sleep_for(Ms(100));
        } while (std::chrono::steady_clock::now() < deadline);
        return count;
    }
    // What node `i` (0-2) has logged so far, for a failure's message.
    std::string LogOf(int i) {
        nodes_[i]->AwaitErrorLine("\n\n", Ms(200));  // no such line: reads what there is
        return nodes_[i]->err;
    }
    // The node (0-2) whose log says it opened `room`.
    int HomeOf(const std::string& room) {
        const auto deadline = std::chrono::steady_clock::now() + Ms(5000);
        while (std::chrono::steady_clock::now() < deadline) {
            for (int i = 0; i < 3; ++i) {
                if (nodes_[i] && nodes_[i]->AwaitErrorLine("room \"" + room + "\" open", Ms(20)))
                    return i;
            }
        }
        return -1;
    }

    std::filesystem::path dir_;
    std::string config_;
    std::unique_ptr<ThrowawayPostgres> pg_;
    NatsServer nats_;
    std::array<std::unique_ptr<ChildProcess>, 3> nodes_;
    HaproxyProcess haproxy_;
    int loginPort_ = 0, servicePort_ = 0, chatFirst_ = 0;
};

TEST_F(Cluster, ExchangesBehaveAsOnOneNodeWithARoomSpreadOverEveryNode) {
    for (const char* name : {"ann", "bob", "cat"}) ASSERT_TRUE(Login(name)) << name;
    const int port = Create("Tea", "ann");
    ASSERT_GT(port, 0);
    CMsg reply;
    CMsg taken(code1::kReply, code2::kCreateRoom);
    taken.text = "Tea";
    taken.list = {"bob"};
    ASSERT_TRUE(Ask(taken, reply));  // whichever node answers, the name is taken
    EXPECT_EQ(reply.code2, code2::kRoomNameTaken);

    // One member on each node.
    TestClient ann, bob, cat;
    ASSERT_EQ(Join(ann, "ann", port, 0), "OK");
    ASSERT_EQ(Join(bob, "bob", port, 1), "OK");
    ASSERT_TRUE(bob.ReceiveCode(code2::kPersonEntered, reply));
    EXPECT_EQ(reply.text, "ann");
    EXPECT_EQ(reply.number, 1);
    ASSERT_TRUE(ann.ReceiveCode(code2::kPersonEntered, reply));
    EXPECT_EQ(reply.text, "bob");
    ASSERT_EQ(Join(cat, "cat", port, 2), "OK");
    TestClient dup;
    EXPECT_EQ(Join(dup, "cat", port, 0), "NAMEEXIST");

    // Lines from all three nodes at once reach everyone in one and the same order.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(ann.Send(Line("ann: " + std::to_string(i))));
        ASSERT_TRUE(bob.Send(Line("bob: " + std::to_string(i))));
        ASSERT_TRUE(cat.Send(Line("cat: " + std::to_string(i))));
    }
    std::array<std::vector<std::string>, 3> seen;
    std::array<TestClient*, 3> all = {&ann, &bob, &cat};
    for (int c = 0; c < 3; ++c) {
        while (seen[c].size() < 60) {
            ASSERT_TRUE(all[c]->ReceiveCode(code2::kChatLine, reply, Ms(5000)));
            seen[c].push_back(reply.list.at(0));
        }
    }
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], seen[2]);

    // Find, look-up and the channel list tell the same from every node.
    for (int i = 0; i < 3; ++i) {
        CMsg find(code1::kRequest, code2::kFindUser);
        find.text = "cat";
        ASSERT_TRUE(Ask(find, reply));
        EXPECT_EQ(reply.number, 1);
        EXPECT_EQ(reply.text, "Tea");
        ASSERT_TRUE(Ask(CMsg(code1::kRequest, code2::kChannelListRequest), reply));
        EXPECT_EQ(reply.list, (std::vector<std::string>{"aLobby", " Tea"}));
        EXPECT_EQ(reply.array, (std::vector<std::int32_t>{0, 3}));
    }
    // A private message from the service port, a beep and a private line across nodes.
    CMsg deliver(code1::kRequest, code2::kDeliverToUser);
    deliver.list = {"ann", "cat", "psst"};
    TestClient desk;  // no reply is due
    ASSERT_TRUE(desk.Connect(servicePort_));
    ASSERT_TRUE(desk.Send(deliver));
    ASSERT_TRUE(cat.ReceiveCode(code2::kPrivateMessage, reply));
    EXPECT_EQ(reply.text, "psst");
    CMsg beep(code1::kRequest, code2::kBeep);
    beep.text = "ann";
    ASSERT_TRUE(cat.Send(beep));
    ASSERT_TRUE(ann.ReceiveCode(code2::kBeep, reply));
    EXPECT_EQ(reply.list.at(0), "cat Beep you!");
    CMsg effect(code1::kUserAction, code2::kSoundEffect);  // the owner's, to everyone else
    effect.text = "http://effects.invalid/ring.wav";
    effect.list = {"ann"};
    ASSERT_TRUE(ann.Send(effect));
    for (TestClient* c : {&bob, &cat}) {
        ASSERT_TRUE(c->ReceiveCode(code2::kSoundEffect, reply));
        EXPECT_EQ(reply.text, effect.text);
        EXPECT_EQ(reply.list.at(0), "ann");
    }

    // The owner (node 1) kicks cat (node 3), then hands the room to bob (node 2).
    CMsg kick(code1::kUserAction, code2::kKick);
    kick.text = "cat";
    kick.list = {"ann"};
    ASSERT_TRUE(ann.Send(kick));
    ASSERT_TRUE(cat.ReceiveCode(code2::kClosing, reply));
    EXPECT_TRUE(cat.WaitClosed());
    ASSERT_TRUE(bob.ReceiveCode(code2::kPersonLeft, reply));
    EXPECT_EQ(reply.text, "cat");
    CMsg give(code1::kRequest, code2::kGiveOwnership);
    give.text = "bob";
    give.list = {"ann"};
    ASSERT_TRUE(ann.Send(give));
    ASSERT_TRUE(bob.ReceiveCode(code2::kGiveOwnership, reply));
    EXPECT_EQ(reply.list.at(0), "ann");
    CMsg lookUp(code1::kRequest, code2::kRoomLookUp);
    lookUp.text = "Tea";
    ASSERT_TRUE(Ask(lookUp, reply));
    EXPECT_EQ(reply.text, "bob");
    EXPECT_EQ(reply.array.at(0), port);

    // Both leave; the owner's removal, sent to any node, removes it everywhere.
    for (TestClient* c : {&ann, &bob}) {
        ASSERT_TRUE(c->Send(CMsg(code1::kRequest, code2::kLeave)));
        ASSERT_TRUE(c->Send(CMsg(code1::kRequest, code2::kClosing)));
    }
    CMsg remove(code1::kRequest, code2::kRemoveRoom);
    remove.text = "Tea";
    bool removed = false;
    for (int tries = 0; tries < 20 && !removed; ++tries) {  // the farewells travel first
        removed = Ask(remove, reply) && reply.number == 1;
        if (!removed) std::this_thread::sleep_for(Ms(100));
    }
    EXPECT_TRUE(removed);
    ASSERT_TRUE(Ask(lookUp, reply));
    EXPECT_EQ(reply.code2, code2::kNoAnswer);
}

TEST_F(Cluster, TheNodesKnowEachClientByItsOwnAddressThroughTheProxy) {
    ASSERT_TRUE(Login("eve", "127.0.0.5"));
    // Whichever node took the login names the client, not the proxy.
    bool logged = false;
    const auto deadline = std::chrono::steady_clock::now() + Ms(5000);
    while (!logged && std::chrono::steady_clock::now() < deadline) {
        for (auto& node : nodes_)
            logged = logged || node->AwaitErrorLine("login of \"eve\" from 127.0.0.5", Ms(20));
    }
    EXPECT_TRUE(logged);
    // The login holds for that address only, through the proxy as on a node itself.
    CMsg lookUp(code1::kRequest, code2::kRoomLookUp), reply;
    lookUp.text = "Lobby";
    ASSERT_TRUE(Ask(lookUp, reply));
    ASSERT_FALSE(reply.array.empty());
    const int lobby = reply.array[0];
    TestClient other, direct, eve;
    EXPECT_EQ(Join(other, "eve", lobby, -1, "127.0.0.1"), "");
    EXPECT_EQ(Join(direct, "eve", lobby, 1, "127.0.0.1"), "");
    EXPECT_EQ(Join(eve, "eve", lobby, -1, "127.0.0.5"), "OK");
}

// A node killed outright, and one stopped cleanly (SIGTERM): either way its people leave,
// and its rooms go on with everyone else in them.
class NodeLoss : public Cluster, public ::testing::WithParamInterface<int> {};

TEST_P(NodeLoss, ItsPeopleLeaveAndItsRoomsPassToThoseLeft) {
    for (const char* name : {"ann", "bob", "cat", "dan", "eve"}) {
        ASSERT_TRUE(Login(name)) << name;
    }
    const int port = Create("Tea", "ann");
    ASSERT_GT(port, 0);
    const int home = HomeOf("Tea");
    ASSERT_GE(home, 0);
    const int second = (home + 1) % 3, third = (home + 2) % 3;
    // dan, on Tea's node, is in a room that lives on the second, with eve there.
    const int cakePort = Create("Cake", "dan", second);
    ASSERT_GT(cakePort, 0);
    TestClient dan, eve;
    ASSERT_EQ(Join(dan, "dan", cakePort, home), "OK");
    ASSERT_EQ(Join(eve, "eve", cakePort, second), "OK");

    // The owner is on the room's own node; the others on the other two.
    TestClient ann, bob, cat;
    CMsg reply;
    ASSERT_EQ(Join(ann, "ann", port, home), "OK");
    ASSERT_EQ(Join(bob, "bob", port, second), "OK");
    ASSERT_EQ(Join(cat, "cat", port, third), "OK");
    ASSERT_TRUE(bob.ReceiveCode(code2::kPersonEntered, reply));  // ann, there before
    ASSERT_TRUE(bob.ReceiveCode(code2::kPersonEntered, reply));  // cat, coming after
    EXPECT_EQ(reply.text, "cat");

    // Stopped (SIGSTOP) the node is as good as dead to the others; woken, it is stale.
    const bool paused = GetParam() == SIGSTOP;
    ::kill(nodes_[home]->Pid(), GetParam());
    if (!paused) {
        EXPECT_TRUE(ann.WaitClosed(Ms(3000)));  // its own client sees a dropped connection
    }
    // Within the node time-out and the take-over: ann left, bob (first to come) owns it.
    ASSERT_TRUE(bob.ReceiveCode(code2::kPersonLeft, reply, Ms(20000)));
    EXPECT_EQ(reply.text, "ann");
    ASSERT_TRUE(bob.ReceiveCode(code2::kGiveOwnership, reply));
    EXPECT_EQ(reply.list.at(0), "ann");
    ASSERT_TRUE(cat.ReceiveCode(code2::kPersonLeft, reply));
    ASSERT_TRUE(cat.ReceiveCode(code2::kOwnerChanged, reply));
    EXPECT_EQ(reply.list.at(0), "bob");
    ASSERT_TRUE(eve.ReceiveCode(code2::kPersonLeft, reply, Ms(20000)));  // Cake's node too
    EXPECT_EQ(reply.text, "dan");
    if (paused) {
        // Woken, the node learns that its room lives elsewhere now. Its copy ends, and with
        // it ann's connection, as though the node had died; dan, dropped from Cake by its
        // node meanwhile, is cut off too.
        ::kill(nodes_[home]->Pid(), SIGCONT);
        EXPECT_TRUE(ann.WaitClosed(Ms(15000))) << "the woken node's log:\n" << LogOf(home);
        EXPECT_TRUE(dan.WaitClosed(Ms(5000))) << "the woken node's log:\n" << LogOf(home);
    }

    // The conversation goes on, and ann comes back at once: through the balancer, or
    // through the woken node, which now passes her to the room's new home.
    ASSERT_TRUE(cat.Send(Line("cat: still here")));
    ASSERT_TRUE(bob.ReceiveCode(code2::kChatLine, reply));
    EXPECT_EQ(reply.list.at(0), "cat: still here");
    TestClient again;
    ASSERT_EQ(Join(again, "ann", port, paused ? home : -1), "OK");
    ASSERT_TRUE(bob.ReceiveCode(code2::kPersonEntered, reply));
    EXPECT_EQ(reply.text, "ann");
    EXPECT_EQ(reply.number, 0);
    ASSERT_TRUE(again.Send(Line("ann: back")));
    ASSERT_TRUE(bob.ReceiveCode(code2::kChatLine, reply));
    EXPECT_EQ(reply.list.at(0), "ann: back");
    // Every node, the woken one too, counts the room's three people.
    for (int node = 0; node < 3; ++node) {
        if (paused || node != home) {
            EXPECT_EQ(CountAt(node, "Tea", 3), 3) << "node " << node << "'s log:\n" << LogOf(node);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, NodeLoss, ::testing::Values(SIGKILL, SIGTERM, SIGSTOP),
                         [](const auto& info) {
                             return std::string(info.param == SIGKILL   ? "Killed"
                                                : info.param == SIGTERM ? "Stopped"
                                                                        : "Paused");
                         });

TEST_F(Cluster, AnOutageRefusesLoginsAndCreationsInTimeAndLosesNoAccount) {
    ASSERT_TRUE(Login("ann"));  // created by open registration, and answered
    nats_.Stop();
    CMsg request(code1::kUserAction, code2::kLogin), reply;
    request.text = "bob";
    request.list = {"pw-bob"};
    ASSERT_TRUE(TestClient::Exchange(loginPort_, request, reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kLoginRefused));
    CMsg create(code1::kReply, code2::kCreateRoom);
    create.text = "Dark";
    create.list = {"ann"};
    ASSERT_TRUE(Ask(create, reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kNoAnswer));

    ASSERT_TRUE(nats_.Start());  // the same port: the nodes reconnect by themselves
    bool back = false;
    for (int tries = 0; tries < 50 && !back; ++tries) {
        back = Login("ann");
        if (!back) std::this_thread::sleep_for(Ms(200));
    }
    EXPECT_TRUE(back);

    pg_->Stop();
    request.text = "cat";
    request.list = {"pw-cat"};
    ASSERT_TRUE(TestClient::Exchange(loginPort_, request, reply, "127.0.0.1"));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kLoginRefused));
    pg_->Start();
    back = false;
    for (int tries = 0; tries < 50 && !back; ++tries) {
        back = Login("ann");  // the account answered before the outages is still there
        if (!back) std::this_thread::sleep_for(Ms(200));
    }
    EXPECT_TRUE(back);
    EXPECT_GT(Create("Light", "ann"), 0);
}

}  // namespace
}  // namespace zorvid::test
