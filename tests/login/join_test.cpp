// Joining a room's chat connection against a scripted chat host.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QtTest/QtTest>

#include "fake_login_dialog.h"
#include "login/login_ops.h"
#include "msg_printer.h"
#include "net/codec.h"
#include "net/protocol.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"

namespace {

using namespace std::chrono_literals;

class JoinTest : public ::testing::Test {
protected:
    JoinTest() {
        tw.w().SetIdentity(QStringLiteral("kim"), {});
        tw.w().SetServerHost(QStringLiteral("127.0.0.1"));
    }
    void UseChatHost(const kvtest::ScriptPeer& peer) { tw.w().SetRoomPort(peer.port()); }
    // Processes events until the conversation shows the line, for up to 5 s.
    bool DisplayShows(const char* line) {
        return QTest::qWaitFor(
            [&] { return tw.w().m_chatDisplay->toPlainText().contains(QLatin1String(line)); },
            5000);
    }

    TestWindow tw;
    FakeLoginDialog dialog;
    LoginOps ops{tw.w(), dialog};
};

TEST_F(JoinTest, RefusalsShowTheirMessageAndLeaveNoConnection) {
    const std::pair<std::string_view, const char*> cases[] = {
        {zorvi::kJoinFull, "chat room is full!"},
        {zorvi::kJoinNameExists, "Another user having the same name has already exist!"},
    };
    for (const auto& [answer, message] : cases) {
        SCOPED_TRACE(answer);
        tw.box.shown.clear();
        kvtest::PeerScript script;
        script.ReceiveBareString().SendBareString(std::string(answer)).ExpectEnd();
        kvtest::ScriptPeer host(script);
        UseChatHost(host);
        tw.w().SetSoundOn(false);

        EXPECT_FALSE(ops.JoinChatServer());
        EXPECT_EQ(tw.box.shown, QStringList{QString::fromUtf8(message)});
        EXPECT_FALSE(tw.w().m_pChatSocket->IsOpen());
        EXPECT_FALSE(tw.w().soundOn());
        ASSERT_TRUE(host.WaitForFinished(1, 5s));
        EXPECT_EQ(host.ReceivedStrings(), std::vector<std::string>{"kim"});
        // Nothing but the name was sent: no join line.
        EXPECT_TRUE(host.Received().empty());
        EXPECT_EQ(host.ClientCloses(), 1);
    }
}

TEST_F(JoinTest, AnyOtherAnswerJoinsAnnouncesAndTurnsSoundOn) {
    for (const char* answer : {"OK", "", "full"}) {
        SCOPED_TRACE(answer);
        kvtest::PeerScript script;
        script.ReceiveBareString().SendBareString(answer).Receive().ExpectEnd();
        kvtest::ScriptPeer host(script);
        UseChatHost(host);
        tw.w().SetSoundOn(false);

        ASSERT_TRUE(ops.JoinChatServer());
        EXPECT_TRUE(tw.w().m_pChatSocket->IsOpen());
        EXPECT_TRUE(tw.w().soundOn());
        ASSERT_TRUE(host.WaitForReceived(2, 5s));
        CMsg announce(code1::kUserAction, code2::kChatLine);
        announce.text = "kim: join the chatroom";
        EXPECT_EQ(host.Received(), std::vector<CMsg>{announce});
        EXPECT_TRUE(tw.box.shown.isEmpty());
        tw.w().m_pChatSocket->Close();
        EXPECT_TRUE(host.WaitForFinished(1, 5s));
    }
}

TEST_F(JoinTest, RejoiningClosesThePreviousConnection) {
    kvtest::PeerScript script;
    script.ReceiveBareString().SendBareString("OK").Receive().ExpectEnd();
    kvtest::ScriptPeer first(script);
    kvtest::ScriptPeer second(script);
    UseChatHost(first);
    ASSERT_TRUE(ops.JoinChatServer());
    UseChatHost(second);
    ASSERT_TRUE(ops.JoinChatServer());
    // The first host sees its connection end as soon as the second join starts.
    EXPECT_TRUE(first.WaitForFinished(1, 5s));
    EXPECT_EQ(first.ClientCloses(), 1);
    EXPECT_EQ(second.ClientCloses(), 0);
}

TEST_F(JoinTest, BrokenHandshakeIsReportedAndClosed) {
    std::vector<std::pair<const char*, kvtest::PeerScript>> cases;
    cases.emplace_back("closed before answering", kvtest::PeerScript().ReceiveBareString().Close());
    cases.emplace_back("closed inside the answer",
                       kvtest::PeerScript()
                           .ReceiveBareString()
                           .SendRaw(zorvi::EncodeBareString(zorvi::kJoinFull).substr(0, 3))
                           .Close());
    cases.emplace_back("reset at once", kvtest::PeerScript().Close(true));
    cases.emplace_back("never answers", kvtest::PeerScript().ReceiveBareString().Silent());
    for (auto& [what, script] : cases) {
        SCOPED_TRACE(what);
        tw.box.shown.clear();
        kvtest::ScriptPeer host(script);
        UseChatHost(host);
        EXPECT_FALSE(ops.JoinChatServer());
        EXPECT_EQ(tw.box.shown, QStringList{QStringLiteral("Fail to connect chat server!")});
        EXPECT_FALSE(tw.w().m_pChatSocket->IsOpen());
    }
}

TEST_F(JoinTest, NoPortOrUnreachableHost) {
    tw.w().SetRoomPort(-1);
    EXPECT_FALSE(ops.JoinChatServer());
    EXPECT_TRUE(tw.box.shown.isEmpty());

    tw.w().SetRoomPort(kvtest::ClosedPort());
    EXPECT_FALSE(ops.JoinChatServer());
    EXPECT_EQ(tw.box.shown, QStringList{QStringLiteral("Fail to connect chat server!")});
    EXPECT_FALSE(tw.w().m_pChatSocket->IsOpen());
}

TEST_F(JoinTest, LinesArrivingWithTheAnswerReachTheConversation) {
    CMsg lines(code1::kUserAction, code2::kChatLine);
    lines.list = {"lee: hello kim", "lee: second line"};
    kvtest::PeerScript script;
    script.ReceiveBareString()
        .SendRaw(zorvi::EncodeBareString("OK") + zorvi::EncodeMsg(lines))
        .Receive()
        .ExpectEnd();
    kvtest::ScriptPeer host(script);
    UseChatHost(host);
    ASSERT_TRUE(ops.JoinChatServer());
    ASSERT_TRUE(DisplayShows("lee: second line"));
    EXPECT_TRUE(tw.w().m_chatDisplay->toPlainText().contains(QStringLiteral("lee: hello kim")));
}

TEST_F(JoinTest, LaterLinesArriveThroughTheWindowsNotifier) {
    CMsg lines(code1::kUserAction, code2::kChatLine);
    lines.list = {"lee: welcome"};
    kvtest::PeerScript script;
    script.ReceiveBareString().SendBareString("OK").Receive().Send(lines).ExpectEnd();
    kvtest::ScriptPeer host(script);
    UseChatHost(host);
    ASSERT_TRUE(ops.JoinChatServer());
    ASSERT_TRUE(DisplayShows("lee: welcome"));
}

}  // namespace
