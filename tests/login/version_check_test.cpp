// The version check and the whole login sequence against scripted servers.
#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include "fake_login_dialog.h"
#include "login/login_ops.h"
#include "msg_printer.h"
#include "net/protocol.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"

namespace {

using namespace std::chrono_literals;

CMsg VersionReply(std::int32_t c1, std::int32_t c2, std::int32_t number) {
    CMsg m(c1, c2);
    m.number = number;
    return m;
}

kvtest::PeerScript Answering(const CMsg& reply) {
    kvtest::PeerScript s;
    s.Receive().Send(reply).Receive();
    return s;
}

class VersionTest : public ::testing::Test {
protected:
    void UseServers(const kvtest::ScriptPeer& login, const kvtest::ScriptPeer& service) {
        tw.w().services().endpoints.loginPort = login.port();
        tw.w().services().endpoints.servicePort = service.port();
    }
    void UseServicePort(int port) { tw.w().services().endpoints.servicePort = port; }
    QString VersionMessage() {
        return QStringLiteral(
                   " This version is invalid! \n\r Please download the lastest version from ") +
               tw.w().endpoints().ServiceHomePage();
    }

    TestWindow tw;
    FakeLoginDialog dialog;
    LoginOps ops{tw.w(), dialog};
};

TEST_F(VersionTest, AcceptsOnlyNonZeroNumberInTheVersionReply) {
    struct Case {
        CMsg reply;
        bool accepted;
    };
    const Case cases[] = {
        {VersionReply(code1::kReply, code2::kVersionCheck, 1), true},
        {VersionReply(code1::kReply, code2::kVersionCheck, -7), true},
        {VersionReply(code1::kReply, code2::kVersionCheck, 0), false},
        {VersionReply(code1::kReply, code2::kLogin, 1), false},
        {VersionReply(code1::kRequest, code2::kVersionCheck, 1), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.reply.code1 << "," << c.reply.code2 << " n=" << c.reply.number);
        kvtest::ScriptPeer service(Answering(c.reply));
        UseServicePort(service.port());
        EXPECT_EQ(ops.CheckVersion(), c.accepted);
        ASSERT_TRUE(service.WaitForReceived(2, 5s));
        const auto got = service.Received();
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], VersionReply(code1::kRequest, code2::kVersionCheck, 4));
        EXPECT_EQ(got[1], CMsg(code1::kReply, code2::kClosing));
        EXPECT_FALSE(tw.w().m_pServiceSocket->IsOpen());
    }
    EXPECT_TRUE(tw.box.shown.isEmpty());
}

TEST_F(VersionTest, SequenceReportsRefusedVersionWithHomePage) {
    kvtest::ScriptPeer login(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
    kvtest::ScriptPeer service(Answering(VersionReply(code1::kReply, code2::kVersionCheck, 0)));
    UseServers(login, service);
    dialog.Type(QStringLiteral("ivy"), QStringLiteral("pw"), false, QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(ops.LoginSequence());
    EXPECT_EQ(tw.box.shown, QStringList{VersionMessage()});
}

TEST_F(VersionTest, UnreachableChatHostShowsOnlyTheConnectionMessage) {
    kvtest::ScriptPeer login(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
    tw.w().services().endpoints.loginPort = login.port();
    UseServicePort(kvtest::ClosedPort());
    dialog.Type(QStringLiteral("ivy"), QStringLiteral("pw"), false, QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(ops.LoginSequence());
    EXPECT_EQ(tw.box.shown, QStringList{QStringLiteral("Fail to connect server!")});
}

TEST_F(VersionTest, BrokenVersionExchangeShowsOnlyItsOwnMessage) {
    std::vector<kvtest::PeerScript> scripts;
    scripts.push_back(kvtest::PeerScript().Receive().Close());
    scripts.push_back(kvtest::PeerScript()
                          .Receive()
                          .SendRaw(std::string("\xff\xff\xff\x7f garbage", 12))
                          .Close());
    scripts.push_back(kvtest::PeerScript().Receive().Silent());
    int i = 0;
    for (const kvtest::PeerScript& script : scripts) {
        SCOPED_TRACE(i++);
        TestWindow local;
        FakeLoginDialog localDialog;
        LoginOps localOps(local.w(), localDialog);
        kvtest::ScriptPeer login(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        kvtest::ScriptPeer service(script);
        local.w().services().endpoints.loginPort = login.port();
        local.w().services().endpoints.servicePort = service.port();
        localDialog.Type(QStringLiteral("ivy"), QStringLiteral("pw"), false,
                         QStringLiteral("127.0.0.1"));

        EXPECT_FALSE(localOps.LoginSequence());
        const QString line = QStringLiteral("Inable to connect server!");
        EXPECT_EQ(local.box.shown, QStringList{line});
        EXPECT_TRUE(local.w().m_chatDisplay->toPlainText().contains(line));
        EXPECT_FALSE(local.w().m_pServiceSocket->IsOpen());
    }
}

TEST_F(VersionTest, AcceptedSequenceResetsRoomStateAndReadsSound) {
    // No "sound" yet: it is created with 0 and this run keeps sounds on.
    {
        kvtest::ScriptPeer login(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        kvtest::ScriptPeer service(Answering(VersionReply(code1::kReply, code2::kVersionCheck, 1)));
        UseServers(login, service);
        tw.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
        tw.w().SetRoomPort(4321);
        dialog.Type(QStringLiteral("jo"), QStringLiteral("pw"), false, QStringLiteral("127.0.0.1"));
        ASSERT_TRUE(ops.LoginSequence());
        EXPECT_FALSE(tw.w().isOwner());
        EXPECT_EQ(tw.w().chatPort(), -1);
        EXPECT_TRUE(tw.w().soundOn());
        EXPECT_EQ(tw.settings->ReadNumber(QStringLiteral("sound")), 0);
        EXPECT_TRUE(tw.box.shown.isEmpty());
        EXPECT_FALSE(tw.w().m_pLoginSocket->IsOpen());
    }
    // The next run takes the stored value.
    {
        kvtest::ScriptPeer login(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        kvtest::ScriptPeer service(Answering(VersionReply(code1::kReply, code2::kVersionCheck, 1)));
        UseServers(login, service);
        FakeLoginDialog second;
        LoginOps again(tw.w(), second);
        second.Type(QStringLiteral("jo"), QStringLiteral("pw"), false, QStringLiteral("127.0.0.1"));
        ASSERT_TRUE(again.LoginSequence());
        EXPECT_FALSE(tw.w().soundOn());
    }
}

TEST_F(VersionTest, CancelledLoginSkipsTheVersionCheck) {
    kvtest::ScriptPeer service(Answering(VersionReply(code1::kReply, code2::kVersionCheck, 1)));
    UseServicePort(service.port());
    EXPECT_FALSE(ops.LoginSequence());
    EXPECT_FALSE(service.WaitForAccepted(1, 300ms));
    EXPECT_TRUE(tw.box.shown.isEmpty());
}

}  // namespace
