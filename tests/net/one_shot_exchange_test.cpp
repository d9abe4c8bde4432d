#include "net/one_shot_exchange.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/codec.h"
#include "net/protocol.h"
#include "net/zorvi_socket.h"
#include "support_net/script_peer.h"

using namespace std::chrono_literals;
using kvtest::PeerScript;
using kvtest::ScriptPeer;
using zorvi::OneShotPlan;
using zorvi::OneShotStep;

namespace {

zorvi::SocketConfig ShortTimeouts() {
    zorvi::SocketConfig c;
    c.connectTimeout = 2000ms;
    c.ioTimeout = 2000ms;
    return c;
}

CMsg Request() {
    CMsg m(code1::kRequest, code2::kFindUser);
    m.text = "ann";
    return m;
}

// Counts the hook calls, and notes whether the request had gone out when each ran.
struct HookLog {
    int connected = 0;
    int replied = 0;
    std::size_t receivedAtReply = 99;
};

OneShotPlan Plan(HookLog& log, const ScriptPeer& peer) {
    OneShotPlan plan;
    plan.request = Request();
    plan.onConnected = [&log] { ++log.connected; };
    plan.onReplied = [&log, &peer] {
        ++log.replied;
        log.receivedAtReply = peer.Received().size();
    };
    return plan;
}

}  // namespace

TEST(OneShotExchange, SendsRequestReadsReplyThenClosingNoticeAndCloses) {
    CMsg reply(code1::kReply, code2::kFindUser);
    reply.text = "Lobby";
    reply.number = 1;
    ScriptPeer peer(PeerScript().Receive().Send(reply).Receive().ExpectEnd().Close());
    zorvi::ServiceSocket socket(ShortTimeouts());
    HookLog log;

    const zorvi::OneShotResult result =
        zorvi::RunOneShot(socket, "127.0.0.1", peer.port(), Plan(log, peer));

    EXPECT_TRUE(result.Ok());
    EXPECT_TRUE(result.Answered());
    EXPECT_EQ(result.reply, reply);
    EXPECT_FALSE(socket.IsOpen());
    // A completed exchange keeps its writer: nothing was aborted.
    EXPECT_TRUE(socket.HasOutputWriter());
    ASSERT_TRUE(peer.WaitForFinished(1, 5s));
    EXPECT_TRUE(peer.Errors().empty());
    EXPECT_EQ(peer.Received(),
              (std::vector<CMsg>{Request(), CMsg(code1::kRequest, code2::kClosing)}));
    EXPECT_EQ(peer.ClientCloses(), 1);
    EXPECT_EQ(log.connected, 1);
    EXPECT_EQ(log.replied, 1);
    EXPECT_EQ(log.receivedAtReply, 1u);  // before the closing notice went out
}

TEST(OneShotExchange, WithoutReplySendsTheClosingNoticeOfTheGivenKind) {
    ScriptPeer peer(PeerScript().Receive().Receive().ExpectEnd().Close());
    zorvi::LoginSocket socket(ShortTimeouts());
    HookLog log;
    OneShotPlan plan = Plan(log, peer);
    plan.readsReply = false;
    plan.closingCode1 = code1::kReply;

    const zorvi::OneShotResult result = zorvi::RunOneShot(socket, "127.0.0.1", peer.port(), plan);

    EXPECT_TRUE(result.Ok());
    EXPECT_EQ(result.reply, CMsg());
    ASSERT_TRUE(peer.WaitForFinished(1, 5s));
    EXPECT_EQ(peer.Received(),
              (std::vector<CMsg>{Request(), CMsg(code1::kReply, code2::kClosing)}));
    EXPECT_EQ(peer.ClientCloses(), 1);
    EXPECT_EQ(log.connected, 1);
    EXPECT_EQ(log.replied, 0);
}

TEST(OneShotExchange, PeerClosingEarlyReportsTheStepAndAborts) {
    // The reply is cut off after its codes: nothing of it may come back.
    const std::string cut = zorvi::EncodeMsg(CMsg(code1::kReply, code2::kFindUser)).substr(0, 9);
    ScriptPeer peer(PeerScript().Receive().SendRaw(cut).Close());
    zorvi::ServiceSocket socket(ShortTimeouts());
    HookLog log;

    const zorvi::OneShotResult result =
        zorvi::RunOneShot(socket, "127.0.0.1", peer.port(), Plan(log, peer));

    EXPECT_EQ(result.failedAt, OneShotStep::Receive);
    EXPECT_TRUE(result.Opened());
    EXPECT_FALSE(result.Answered());
    EXPECT_EQ(result.reply, CMsg());
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_FALSE(socket.HasOutputWriter());
    EXPECT_EQ(log.connected, 1);
    EXPECT_EQ(log.replied, 0);
    ASSERT_TRUE(peer.WaitForFinished(1, 5s));
    // No closing notice follows a broken exchange.
    EXPECT_EQ(peer.Received(), std::vector<CMsg>{Request()});

    // The same socket serves the next exchange afresh.
    ScriptPeer next(PeerScript()
                        .Receive()
                        .Send(CMsg(code1::kReply, code2::kNoAnswer))
                        .Receive()
                        .ExpectEnd()
                        .Close());
    const zorvi::OneShotResult again =
        zorvi::RunOneShot(socket, "127.0.0.1", next.port(), Plan(log, next));
    EXPECT_TRUE(again.Ok());
    EXPECT_EQ(again.reply, CMsg(code1::kReply, code2::kNoAnswer));
    ASSERT_TRUE(next.WaitForFinished(1, 5s));
    EXPECT_EQ(next.Received().size(), 2u);
}

TEST(OneShotExchange, UnreachablePeerFailsAtConnectWithoutHooks) {
    zorvi::ServiceSocket socket(ShortTimeouts());
    HookLog log;
    OneShotPlan plan;
    plan.request = Request();
    plan.onConnected = [&log] { ++log.connected; };

    const zorvi::OneShotResult result =
        zorvi::RunOneShot(socket, "127.0.0.1", kvtest::ClosedPort(), plan);

    EXPECT_EQ(result.failedAt, OneShotStep::Connect);
    EXPECT_FALSE(result.Opened());
    EXPECT_FALSE(result.Answered());
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_EQ(log.connected, 0);
}
