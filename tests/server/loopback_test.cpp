// The service over real loopback sockets on ephemeral ports.
#include <gtest/gtest.h>
#include <sodium.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "net/protocol.h"
#include "server/core/sqlite_account_store.h"
#include "server/core/zorvi_server.h"
#include "tests/server/in_process_server.h"
#include "tests/server/test_certs.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;

// Every case runs twice: plain, and with every client over TLS to a server with a
// certificate (which serves both on the same ports).
class Loopback : public InProcessServer<::testing::TestWithParam<bool>> {
protected:
    void SetUp() override {
        if (GetParam()) {
            const auto& certs = TestCerts::Get();
            config.tlsCert = certs.cert;
            config.tlsKey = certs.key;
            TestClient::tls = TlsContext::ForClient(certs.ca);
        }
        InProcessServer::SetUp();
        config.openRegistration = true;
        config.maxQueuedBytes = 256 * 1024;
        config.maxRecordBytes = 16 * 1024;
        config.roomCapacity = 3;
        config.threads = 3;  // rooms and connections on several loops, whatever the machine
        config.rooms.push_back({"Lobby", 'a', {}});
    }

    bool Login(const std::string& name, const std::string& password,
               const char* local = "127.0.0.1") {
        CMsg req(code1::kUserAction, code2::kLogin), reply;
        req.text = name;
        req.list = {password};
        return TestClient::Exchange(server->LoginPort(), req, reply, local) &&
               reply.Is(code1::kReply, code2::kLoginAccepted);
    }

    int PortOf(const std::string& room) {
        CMsg req(code1::kRequest, code2::kRoomLookUp), reply;
        req.text = room;
        if (!TestClient::Exchange(server->ServicePort(), req, reply) ||
            !reply.Is(code1::kReply, code2::kRoomLookUp) || reply.array.empty()) {
            return -1;
        }
        return reply.array[0];
    }

    // Logs in and joins; returns the join answer ("" when the connection broke).
    std::string Enter(TestClient& c, const std::string& name, int port,
                      const char* local = "127.0.0.1") {
        std::string answer;
        if (!Login(name, "pw-" + name, local) || !c.Connect(port, local) || !c.SendBare(name) ||
            !c.ReceiveBare(answer)) {
            return "";
        }
        return answer;
    }

    static CMsg Line(const std::string& text) {
        CMsg m(code1::kUserAction, code2::kChatLine);
        m.text = text;
        return m;
    }
};

TEST_P(Loopback, LoginVersionAndRoomExchanges) {
    StartServer();
    EXPECT_TRUE(Login("ann", "secret"));  // open registration creates ann
    EXPECT_TRUE(Login("ann", "secret"));
    EXPECT_FALSE(Login("ann", "wrong"));
    EXPECT_FALSE(Login("", "x"));

    CMsg version(code1::kRequest, code2::kVersionCheck), reply;
    version.number = 4;
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), version, reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kVersionCheck));
    EXPECT_EQ(reply.number, 1);

    CMsg create(code1::kReply, code2::kCreateRoom);
    create.text = "Tea";
    create.list = {"ann"};
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), create, reply));
    ASSERT_TRUE(reply.Is(code1::kReply, code2::kCreateRoom));
    EXPECT_EQ(PortOf("Tea"), reply.number);
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), create, reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kRoomNameTaken));
    EXPECT_EQ(reply.number, 1);

    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(),
                                     CMsg(code1::kRequest, code2::kChannelListRequest), reply));
    EXPECT_EQ(reply.list, (std::vector<std::string>{"aLobby", " Tea"}));

    // Several requests on one connection, each answered in order.
    TestClient c;
    ASSERT_TRUE(c.Connect(server->ServicePort()));
    CMsg find(code1::kRequest, code2::kFindUser);
    find.text = "ann";
    ASSERT_TRUE(c.Send(find) && c.Send(CMsg(code1::kRequest, code2::kChannelListRequest)));
    ASSERT_TRUE(c.Receive(reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kFindUser));
    EXPECT_EQ(reply.number, 0);
    ASSERT_TRUE(c.Receive(reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kChannelList));
    ASSERT_TRUE(c.Send(CMsg(code1::kReply, code2::kClosing)));
    EXPECT_TRUE(c.WaitClosed());
}

TEST_P(Loopback, ScriptedConversationOfThreeClients) {
    StartServer();
    ASSERT_TRUE(Login("ann", "pw-ann"));
    CMsg create(code1::kReply, code2::kCreateRoom), reply;
    create.text = "Tea";
    create.list = {"ann"};
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), create, reply));
    const int port = reply.number;

    TestClient ann, bob, cat;
    ASSERT_EQ(Enter(ann, "ann", port), "OK");
    ASSERT_TRUE(ann.Send(Line("ann: join the chatroom")));
    ASSERT_TRUE(ann.ReceiveCode(11, reply));
    EXPECT_EQ(reply.list.at(0), "ann: join the chatroom");
    ASSERT_EQ(Enter(bob, "bob", port), "OK");
    ASSERT_TRUE(bob.ReceiveCode(32, reply));
    EXPECT_EQ(reply.text, "ann");
    EXPECT_EQ(reply.number, 1);
    ASSERT_TRUE(ann.ReceiveCode(32, reply));
    EXPECT_EQ(reply.text, "bob");
    ASSERT_EQ(Enter(cat, "cat", port), "OK");

    // A line reaches all three, the sender too.
    ASSERT_TRUE(bob.Send(Line("bob: hi all")));
    for (auto* c : {&ann, &bob, &cat}) {
        ASSERT_TRUE(c->ReceiveCode(11, reply));
        EXPECT_EQ(reply.list.at(0), "bob: hi all");
    }
    CMsg pm(code1::kRequest, code2::kPrivateMessage);
    pm.text = "secret";
    pm.list = {"cat", "bob"};
    ASSERT_TRUE(bob.Send(pm));
    ASSERT_TRUE(cat.ReceiveCode(10, reply));
    EXPECT_EQ(reply.list.at(0), "bob");

    // The owner kicks cat, who is told and disconnected; the others hear cat left.
    CMsg kick(code1::kUserAction, code2::kKick);
    kick.text = "cat";
    kick.list = {"ann"};
    ASSERT_TRUE(ann.Send(kick));
    ASSERT_TRUE(cat.ReceiveCode(35, reply));
    ASSERT_TRUE(cat.ReceiveCode(25, reply));
    EXPECT_TRUE(cat.WaitClosed());
    ASSERT_TRUE(bob.ReceiveCode(33, reply));
    EXPECT_EQ(reply.text, "cat");

    // Ann hands the room to bob, then drops: bob stays owner, and ann's leaving is told.
    CMsg give(code1::kRequest, code2::kGiveOwnership);
    give.text = "bob";
    give.list = {"ann"};
    ASSERT_TRUE(ann.Send(give));
    ASSERT_TRUE(bob.ReceiveCode(43, reply));
    EXPECT_EQ(reply.list.at(0), "ann");
    ASSERT_TRUE(ann.ReceiveCode(51, reply));
    EXPECT_EQ(reply.list.back(), "bob");
    ann.Disconnect();
    ASSERT_TRUE(bob.ReceiveCode(33, reply));
    EXPECT_EQ(reply.text, "ann");

    // Bob leaves alone and removes the room.
    ASSERT_TRUE(bob.Send(CMsg(code1::kRequest, code2::kLeave)));
    CMsg bye(code1::kRequest, code2::kClosing);
    bye.text = "bob left the chatroom!";
    ASSERT_TRUE(bob.Send(bye));
    EXPECT_TRUE(bob.WaitClosed());
    CMsg remove(code1::kRequest, code2::kRemoveRoom);
    remove.text = "Tea";
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), remove, reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kRemoveRoom));
    EXPECT_EQ(reply.number, 1);
    EXPECT_EQ(PortOf("Tea"), -1);
}

// Rooms are dealt round the event loops, and so are service connections: whichever loop a
// request arrives on, the service answers as one, in the order the requests were sent.
TEST_P(Loopback, RoomsOnEveryLoopAnswerAsOneService) {
    StartServer();
    for (const char* name : {"ann", "bob"}) ASSERT_TRUE(Login(name, std::string("pw-") + name));

    // Creations race for one name from several threads: exactly one gets a port.
    std::atomic<int> created{0}, taken{0};
    std::vector<std::thread> racers;
    for (int i = 0; i < 6; ++i) {
        racers.emplace_back([&] {
            CMsg create(code1::kReply, code2::kCreateRoom), reply;
            create.text = "Race";
            create.list = {"ann"};
            if (!TestClient::Exchange(server->ServicePort(), create, reply)) return;
            if (reply.code2 == code2::kCreateRoom && reply.number > 0) ++created;
            if (reply.code2 == code2::kRoomNameTaken && reply.number == 1) ++taken;
        });
    }
    for (auto& t : racers) t.join();
    EXPECT_EQ(created.load(), 1);
    EXPECT_EQ(taken.load(), 5);

    // On one connection: each creation is answered before the next request is taken, so
    // the list sent right behind them already holds every room, in creation order.
    TestClient desk;
    ASSERT_TRUE(desk.Connect(server->ServicePort()));
    const std::vector<std::string> names = {"R1", "R2", "R3", "R4"};
    for (const auto& name : names) {
        CMsg create(code1::kReply, code2::kCreateRoom);
        create.text = name;
        create.list = {"ann"};
        ASSERT_TRUE(desk.Send(create));
    }
    ASSERT_TRUE(desk.Send(CMsg(code1::kRequest, code2::kChannelListRequest)));
    std::vector<int> ports;
    CMsg reply;
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(desk.Receive(reply, Ms(5000)));
        ASSERT_EQ(reply.code2, code2::kCreateRoom);
        ports.push_back(reply.number);
    }
    ASSERT_TRUE(desk.Receive(reply, Ms(5000)));
    ASSERT_EQ(reply.code2, code2::kChannelList);
    EXPECT_EQ(reply.list,
              (std::vector<std::string>{"aLobby", " Race", " R1", " R2", " R3", " R4"}));

    // People in rooms on different loops: found, and reached by a delivery, from any loop.
    TestClient ann, bob;
    ASSERT_EQ(Enter(ann, "ann", ports[0]), "OK");
    ASSERT_EQ(Enter(bob, "bob", ports[1]), "OK");
    for (int i = 0; i < 3; ++i) {  // three connections: three loops
        CMsg find(code1::kRequest, code2::kFindUser);
        find.text = "bob";
        ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), find, reply));
        EXPECT_EQ(reply.number, 1);
        EXPECT_EQ(reply.text, "R2");
        CMsg deliver(code1::kRequest, code2::kDeliverToUser);
        deliver.list = {"ann", "bob", "note " + std::to_string(i)};
        TestClient once;
        ASSERT_TRUE(once.Connect(server->ServicePort()));
        ASSERT_TRUE(once.Send(deliver));
        ASSERT_TRUE(bob.ReceiveCode(10, reply));
        EXPECT_EQ(reply.text, "note " + std::to_string(i));
    }

    // Removal is answered by the room's own loop, whichever loop took the request.
    for (const auto& name : {"R3", "R4"}) {
        CMsg remove(code1::kRequest, code2::kRemoveRoom);
        remove.text = name;
        ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), remove, reply));
        EXPECT_EQ(reply.number, 1);
        EXPECT_EQ(PortOf(name), -1);
    }
}

TEST_P(Loopback, FullNameExistsAndImpersonationAreRefused) {
    StartServer();
    const int lobby = PortOf("Lobby");
    ASSERT_GT(lobby, 0);
    TestClient a, a2, b, c, d;
    ASSERT_EQ(Enter(a, "a", lobby), "OK");
    EXPECT_EQ(Enter(a2, "a", lobby), zorvi::kJoinNameExists);
    EXPECT_TRUE(a2.WaitClosed());
    ASSERT_EQ(Enter(b, "b", lobby), "OK");
    ASSERT_EQ(Enter(c, "c", lobby), "OK");
    EXPECT_EQ(Enter(d, "d", lobby), zorvi::kJoinFull);
    EXPECT_TRUE(d.WaitClosed());

    // "b" logged in from 127.0.0.1; from 127.0.0.2 the name gets no answer and is cut off.
    c.Disconnect();
    TestClient impostor;
    ASSERT_TRUE(impostor.Connect(lobby, "127.0.0.2"));
    ASSERT_TRUE(impostor.SendBare("zed"));
    std::string answer;
    EXPECT_FALSE(impostor.ReceiveBare(answer, Ms(1000)));
    EXPECT_TRUE(answer.empty());
    EXPECT_TRUE(impostor.WaitClosed(Ms(100)));

    // Removal of a room from an address its owner never logged in from is refused.
    ASSERT_TRUE(Login("own", "pw", "127.0.0.3"));
    CMsg create(code1::kReply, code2::kCreateRoom), reply;
    create.text = "Mine";
    create.list = {"own"};
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), create, reply, "127.0.0.3"));
    ASSERT_TRUE(reply.Is(code1::kReply, code2::kCreateRoom));
    CMsg remove(code1::kRequest, code2::kRemoveRoom);
    remove.text = "Mine";
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), remove, reply, "127.0.0.4"));
    EXPECT_EQ(reply.number, 0);
    EXPECT_GT(PortOf("Mine"), 0);
}

TEST_P(Loopback, HostileClientsNeverHurtTheOthers) {
    config.maxConnectionsPerAddress = 12;
    config.flood.enabled = false;  // "good" floods the room on purpose, to fill slow's queue
    StartServer();
    const int lobby = PortOf("Lobby");
    TestClient good, slow;
    ASSERT_EQ(Enter(good, "good", lobby), "OK");
    ASSERT_EQ(Enter(slow, "slow", lobby, "127.0.0.5"), "OK");
    slow.SetReceiveBuffer(4096);  // and it never reads

    // Garbage on every port, a huge count, a truncated record, a silent connection.
    TestClient garbage, huge, truncated, silent, bigName;
    ASSERT_TRUE(garbage.Connect(server->ServicePort(), "127.0.0.6"));
    ASSERT_TRUE(garbage.SendRaw(
        std::string("\x01\x00\x00\x00\x02\x00\x00\x00\xFF\xFE\xFF\xFF\xFE\xFF", 14)));
    ASSERT_TRUE(huge.Connect(server->LoginPort(), "127.0.0.6"));
    std::string hugeRecord = zorvi::EncodeMsg(CMsg(code1::kUserAction, code2::kLogin));
    hugeRecord.resize(13);  // code1, code2, empty text, number: now a list count of 4 billion
    hugeRecord += std::string("\xFF\xFF\xFF\xFF\xFF\xFF", 6);
    ASSERT_TRUE(huge.SendRaw(hugeRecord));
    ASSERT_TRUE(truncated.Connect(lobby, "127.0.0.6"));
    ASSERT_TRUE(truncated.SendRaw(zorvi::EncodeBareString("half").substr(0, 3)));
    ASSERT_TRUE(silent.Connect(server->ServicePort(), "127.0.0.6"));
    ASSERT_TRUE(bigName.Connect(lobby, "127.0.0.6"));
    ASSERT_TRUE(bigName.SendRaw(std::string("\xFF\xFF\xFF\x00\x00\x00\x10", 7)));  // 256 MiB name

    // Flood the room so that the reader that never reads overflows its queue.
    const std::string pad(4000, 'x');
    CMsg reply;
    bool slowDropped = false;
    // Kernel buffers on loopback hold megabytes, so send well past them, in bursts.
    for (int burst = 0; burst < 60; ++burst) {
        for (int i = 0; i < 50; ++i)
            ASSERT_TRUE(good.Send(Line("good: " + std::to_string(i) + " " + pad)));
        for (int i = 0; i < 50;) {
            ASSERT_TRUE(good.Receive(reply, Ms(2000))) << "burst " << burst << " was delayed";
            if (reply.code2 == code2::kChatLine) ++i;
            if (reply.code2 == code2::kPersonLeft && reply.text == "slow") slowDropped = true;
        }
    }

    EXPECT_TRUE(garbage.WaitClosed());
    EXPECT_TRUE(huge.WaitClosed());
    EXPECT_TRUE(bigName.WaitClosed());
    EXPECT_TRUE(truncated.WaitClosed());  // no complete join within the handshake time
    EXPECT_TRUE(silent.WaitClosed());
    // The reader that never reads is dropped, not buffered without bound.
    if (!slowDropped) {
        ASSERT_TRUE(good.ReceiveCode(33, reply));
        EXPECT_EQ(reply.text, "slow");
    }

    // Too many connections from one address: the extra ones are closed at once.
    std::vector<std::unique_ptr<TestClient>> many;
    for (int i = 0; i < 12; ++i) {
        many.push_back(std::make_unique<TestClient>());
        ASSERT_TRUE(many.back()->Connect(server->ServicePort(), "127.0.0.7"));
    }
    // Over TLS the closed connection already fails its handshake.
    TestClient extra;
    const bool handshaken = extra.Connect(server->ServicePort(), "127.0.0.7");
    EXPECT_TRUE(GetParam() ? !handshaken : extra.WaitClosed(Ms(200)));
    CMsg version(code1::kRequest, code2::kVersionCheck);
    version.number = 4;
    ASSERT_TRUE(many.front()->Send(version));
    EXPECT_TRUE(many.front()->Receive(reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kVersionCheck));

    // Still serving.
    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(),
                                     CMsg(code1::kRequest, code2::kChannelListRequest), reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kChannelList));
}

TEST_P(Loopback, AFloodingMembersLinesArriveLaterButAllArrive) {
    config.flood.linesPerSecond = 10;
    config.flood.lineBurst = 3;
    StartServer();
    TestClient ann;
    ASSERT_EQ(Enter(ann, "ann", PortOf("Lobby")), "OK");
    std::string paste;
    for (int i = 0; i < 15; ++i) paste += zorvi::EncodeMsg(Line("ann: " + std::to_string(i)));
    ASSERT_TRUE(ann.SendRaw(paste));
    std::vector<std::string> heard;
    CMsg reply;
    while (heard.size() < 15 && ann.ReceiveCode(code2::kChatLine, reply))
        heard.insert(heard.end(), reply.list.begin(), reply.list.end());
    ASSERT_EQ(heard.size(), 15u);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(heard[i], "ann: " + std::to_string(i));
}

TEST_P(Loopback, StopTellsEveryChatClientAndCloses) {
    StartServer();
    TestClient a;
    ASSERT_EQ(Enter(a, "a", PortOf("Lobby")), "OK");
    asio::post(io, [this] { server->Stop(); });
    CMsg reply;
    ASSERT_TRUE(a.ReceiveCode(25, reply));
    EXPECT_TRUE(a.WaitClosed());
    loop.join();  // the loop runs out of work by itself
}

INSTANTIATE_TEST_SUITE_P(Transports, Loopback, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tls" : "Plain"; });

// Cases only TLS has; the server still serves plain clients unless told to refuse them.
class TlsOnly : public Loopback {
protected:
    void StopServer() {
        asio::post(io, [this] {
            server->Stop();
            io.stop();
        });
        loop.join();
    }
};

TEST_P(TlsOnly, ThePasswordNeverCrossesInPlainTextAndPlainClientsAreStillServed) {
    StartServer();
    const std::string password = "correct horse battery staple";
    CMsg login(code1::kUserAction, code2::kLogin), reply;
    login.text = "ann";
    login.list = {password};
    TestClient secure;
    ASSERT_TRUE(secure.Connect(server->LoginPort()));
    ASSERT_TRUE(secure.Send(login) && secure.Receive(reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kLoginAccepted));
    EXPECT_EQ(secure.Sent().find(password), std::string::npos);
    EXPECT_EQ(secure.Sent().find("ann"), std::string::npos);

    const auto context = std::exchange(TestClient::tls, nullptr);
    TestClient plain;
    ASSERT_TRUE(plain.Connect(server->LoginPort()));
    ASSERT_TRUE(plain.Send(login) && plain.Receive(reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kLoginAccepted));
    EXPECT_NE(plain.Sent().find(password), std::string::npos);  // what TLS hides
    TestClient::tls = context;
}

TEST_P(TlsOnly, RefusedPlainClientsAndBrokenHandshakesAreClosedAndLogged) {
    config.plainAllowed = false;
    StartServer();
    CMsg version(code1::kRequest, code2::kVersionCheck), reply;
    version.number = 4;

    const auto context = std::exchange(TestClient::tls, nullptr);
    TestClient plain, broken;
    ASSERT_TRUE(plain.Connect(server->ServicePort()) && plain.Send(version));
    EXPECT_TRUE(plain.WaitClosed());
    EXPECT_TRUE(plain.Buffered().empty());  // not even a refusal in plain text
    ASSERT_TRUE(broken.Connect(server->ServicePort()));
    ASSERT_TRUE(broken.SendRaw(std::string("\x16\x03\x01\x00\x05hello", 10)));
    EXPECT_TRUE(broken.WaitClosed());
    TestClient::tls = context;

    ASSERT_TRUE(TestClient::Exchange(server->ServicePort(), version, reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kVersionCheck));
    StopServer();
    EXPECT_NE(logText.str().find("plain text refused (TLS only)"), std::string::npos);
    EXPECT_NE(logText.str().find("TLS handshake failed"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Transports, TlsOnly, ::testing::Values(true),
                         [](const auto&) { return "Tls"; });

}  // namespace
}  // namespace zorvid::test
