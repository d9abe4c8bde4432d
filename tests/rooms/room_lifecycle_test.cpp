#include <gtest/gtest.h>

#include <QTreeWidget>

#include "chat/display_text.h"
#include "net/protocol.h"
#include "rooms/room_texts.h"
#include "rooms/room_title.h"
#include "rooms_fixture.h"

namespace {

QString Lines(const QStringList& lines) {
    QString all;
    for (const QString& l : lines) all += l + QStringLiteral("\r\n");
    return DisplayForm(all);
}

const QStringList kOwnerEnableOrder = {
    QStringLiteral("stop;goto assignButton EnableButton"),
    QStringLiteral("stop;goto closeEffectButton EnableButton"),
    QStringLiteral("stop;goto EffectButton EnableButton"),
};

TEST(RoomTitleLine, FillsToTwentyFiveBytesAndJoinsLongerParts) {
    const QString shortLine = RoomTitleLine(QStringLiteral("Lobby"), QStringLiteral("bob"));
    EXPECT_EQ(shortLine.toUtf8().size(), 25);
    EXPECT_TRUE(shortLine.startsWith(QStringLiteral("Lobby ")));
    EXPECT_TRUE(shortLine.endsWith(QStringLiteral(" (bob)")));

    // 20 + 5 bytes: exactly 25, so no blank at all.
    const QString exact = RoomTitleLine(QString(20, QLatin1Char('r')), QStringLiteral("bob"));
    EXPECT_EQ(exact, QString(20, QLatin1Char('r')) + QStringLiteral("(bob)"));
    // 24 bytes: one blank.
    EXPECT_EQ(RoomTitleLine(QString(19, QLatin1Char('r')), QStringLiteral("bob")),
              QString(19, QLatin1Char('r')) + QStringLiteral(" (bob)"));
    // Longer than 25 bytes: joined directly, nothing cut.
    EXPECT_EQ(RoomTitleLine(QString(22, QLatin1Char('r')), QStringLiteral("bob")),
              QString(22, QLatin1Char('r')) + QStringLiteral("(bob)"));
    // Blanks count bytes, not characters: "é" is two bytes of UTF-8.
    const QString accented = RoomTitleLine(QStringLiteral("Caf\u00e9"), QStringLiteral("bob"));
    EXPECT_EQ(accented.toUtf8().size(), 25);
    EXPECT_EQ(accented.size(), 24);
}

TEST(NewRoom, OwnerWithPeopleOrAnsweringNoOrCancellingChangesNothing) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kCreateRoom, {}, {}, 7000))});
    f.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    f.w().AddRoomUser(QStringLiteral("bob"), false);
    f.ops->OnNewRoom();
    EXPECT_TRUE(f.w().isOwner());
    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kOwnerMustAssign});
    EXPECT_EQ(f.dialogs.newRoomAsked, 0);

    f.w().RemoveRoomUser(QStringLiteral("bob"));
    f.tw.box.answers = {false};
    f.ops->OnNewRoom();
    EXPECT_EQ(f.tw.box.asked, QStringList{RoomTexts::kLoseOwnershipNewRoom});
    EXPECT_EQ(f.dialogs.newRoomAsked, 0);

    f.w().GiveUpOwnership(CKestrivanDlg::OwnerLoss::ByOwner);
    f.ops->OnNewRoom();  // the dialog answers Cancel
    EXPECT_EQ(f.dialogs.newRoomAsked, 1);
    EXPECT_EQ(f.service.Accepted(), 0);
    EXPECT_FALSE(f.w().isOwner());
}

TEST(NewRoom, TakenNameRefusedWithMessageOnlyForNumberOne) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kRoomNameTaken, {}, {}, 1)),
                    Answer(Rec(code1::kReply, code2::kRoomNameTaken, {}, {}, 0)),
                    Answer(Rec(code1::kReply, kNotACode))});
    f.w().EnterRoom(QStringLiteral("Old"));
    f.w().SetRoomPort(4000);
    f.dialogs.newRoomAnswers = {QStringLiteral("Lobby"), QStringLiteral("Lobby"), QString()};
    f.ops->OnNewRoom();
    f.ops->OnNewRoom();
    f.ops->OnNewRoom();
    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kNameTaken});
    const auto got = f.ServiceReceived(6);
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0], Rec(code1::kReply, code2::kCreateRoom, "Lobby", {"alice"}));
    EXPECT_EQ(got[1], Rec(code1::kRequest, code2::kClosing));
    // An empty name goes to the service as it is.
    EXPECT_EQ(got[4], Rec(code1::kReply, code2::kCreateRoom, "", {"alice"}));
    EXPECT_EQ(f.w().roomName(), QStringLiteral("Old"));
    EXPECT_EQ(f.w().chatPort(), 4000);
    EXPECT_EQ(f.joins, 0);
}

TEST(NewRoom, AcceptedCreationEntersAsOwnerInTheSkinOrder) {
    RoomsFixture f({});
    // The scripts need the chat peer's port, known only now.
    kvtest::ScriptPeer service(
        {Answer(Rec(code1::kReply, code2::kCreateRoom, {}, {}, f.chat.port())),
         Answer(Rec(code1::kReply, code2::kChannelList, {}, {"+Fresh"}, 0, {1}))});
    TestWindow tw([&](WindowServices& s) { s.endpoints.servicePort = service.port(); });
    tw.w().SetIdentity(QStringLiteral("alice"), {});
    RoomOps ops(tw.w(), f.dialogs, [&] {
        auto& s = *tw.w().m_pChatSocket;
        if (!s.Create() || !s.Connect("127.0.0.1", tw.w().chatPort())) return false;
        s.Init();
        return true;
    });
    ops.Attach();
    f.dialogs.newRoomAnswers = {QStringLiteral("Fresh")};
    tw.w().m_chatInput->setReadOnly(true);
    tw.w().m_sendButton->setEnabled(false);
    tw.media.calls.clear();

    ops.OnNewRoom();

    EXPECT_EQ(tw.box.shown, QStringList());
    EXPECT_EQ(tw.w().chatPort(), f.chat.port());
    EXPECT_TRUE(tw.w().isOwner());
    EXPECT_EQ(tw.w().roomName(), QStringLiteral("Fresh"));
    EXPECT_EQ(tw.w().ownerName(), QStringLiteral("alice"));
    EXPECT_EQ(tw.w().m_roomTitleEdit->text(),
              RoomTitleLine(QStringLiteral("Fresh"), QStringLiteral("alice")));
    EXPECT_EQ(tw.skin.commands, kOwnerEnableOrder);
    EXPECT_TRUE(tw.w().m_effectButton->isEnabled());
    EXPECT_TRUE(tw.w().m_assignButton->isEnabled());
    EXPECT_FALSE(tw.w().m_chatInput->isReadOnly());
    EXPECT_TRUE(tw.w().m_sendButton->isEnabled());
    EXPECT_EQ(tw.w().windowTitle(), QStringLiteral("Zorvi"));
    EXPECT_TRUE(tw.media.calls.contains(QStringLiteral("Stop")));
    // A newcomer to ownership gets the line with the trailing blank.
    EXPECT_EQ(tw.w().m_chatDisplay->toPlainText(),
              Lines({QStringLiteral("Hello! Welcome! alice! \r\n"), RoomTexts::kNowOwnerNewcomer,
                     RoomTexts::kEffectHint}));
    // The channel list was fetched again after entering.
    ASSERT_TRUE(service.WaitForReceived(4, 3000ms));
    EXPECT_EQ(service.Received()[2], Rec(code1::kRequest, code2::kChannelListRequest));
    EXPECT_EQ(tw.w().channelNames(), QStringList{QStringLiteral("Fresh")});
}

TEST(NewRoom, FailedJoinLeavesRemovesAndGoesToNoRoomWithOwnerOrder) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kCreateRoom, {}, {}, 6001)),
                    Answer(Rec(code1::kReply, code2::kRemoveRoom, {}, {}, 1))});
    f.EnterRoomDirectly(QStringLiteral("Old"), QStringLiteral("alice"), true);
    f.w().m_roomTitleEdit->setText(QStringLiteral("Old (alice)"));
    f.joinSucceeds = false;
    f.dialogs.newRoomAnswers = {QStringLiteral("New")};

    f.ops->OnNewRoom();

    // The old room was left on the chat connection and removed on the service.
    const auto chatGot = f.ChatReceived(2);
    ASSERT_GE(chatGot.size(), 2u);
    EXPECT_EQ(chatGot[0], Rec(code1::kRequest, code2::kLeave));
    EXPECT_EQ(chatGot[1], Rec(code1::kRequest, code2::kClosing, "alice left the chatroom!"));
    const auto serviceGot = f.ServiceReceived(4);
    ASSERT_EQ(serviceGot.size(), 4u);
    EXPECT_EQ(serviceGot[2], Rec(code1::kRequest, code2::kRemoveRoom, "Old"));
    EXPECT_EQ(serviceGot[3], Rec(code1::kReply, code2::kClosing));
    EXPECT_EQ(f.joinedPort, 6001);

    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kJoinFailed});
    EXPECT_EQ(f.w().chatPort(), -1);
    EXPECT_FALSE(f.w().isOwner());
    EXPECT_TRUE(f.w().m_roomTitleEdit->text().isEmpty());
    EXPECT_EQ(f.w().roomName(), QStringLiteral("Old"));
    EXPECT_TRUE(f.w().m_chatInput->isReadOnly());
    EXPECT_FALSE(f.w().m_sendButton->isEnabled());
    EXPECT_FALSE(f.w().m_effectButton->isEnabled());
    EXPECT_EQ(f.tw.skin.commands,
              (QStringList{QStringLiteral("goto assignButton DisableButton"),
                           QStringLiteral("goto EffectButton DisableButton"),
                           QStringLiteral("goto closeEffectButton DisableButton")}));
}

TEST(NewRoom, FailedJoinOfANonOwnerSwapsTheLastTwoSkinCommands) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kCreateRoom, {}, {}, 6001))});
    f.joinSucceeds = false;
    f.dialogs.newRoomAnswers = {QStringLiteral("New")};
    f.ops->OnNewRoom();
    EXPECT_EQ(f.tw.skin.commands,
              (QStringList{QStringLiteral("goto assignButton DisableButton"),
                           QStringLiteral("goto closeEffectButton DisableButton"),
                           QStringLiteral("goto EffectButton DisableButton")}));
}

TEST(NewRoom, BrokenOrUnreachableServiceEndsWithoutChange) {
    kvtest::PeerScript cut;
    cut.Receive().Close();  // no answer at all
    RoomsFixture f({cut});
    f.dialogs.newRoomAnswers = {QStringLiteral("A")};
    f.w().EnterRoom(QStringLiteral("Old"));
    f.ops->OnNewRoom();
    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kFailConnectChatServer});
    EXPECT_EQ(f.joins, 0);
    EXPECT_EQ(f.w().roomName(), QStringLiteral("Old"));

    // Nobody listening: the command ends silently.
    const int closedPort = kvtest::ClosedPort();
    TestWindow tw([&](WindowServices& s) { s.endpoints.servicePort = closedPort; });
    FakeRoomDialogs dialogs;
    dialogs.newRoomAnswers = {QStringLiteral("A")};
    RoomOps ops(tw.w(), dialogs, [] { return true; });
    ops.OnNewRoom();
    EXPECT_EQ(tw.box.shown, QStringList());
    EXPECT_FALSE(tw.w().isOwner());
}

TEST(LeaveRoom, SendsLeaveAndFarewellOnlyWhileConnectedToARoom) {
    kvtest::PeerScript chat;
    chat.StepTimeout(3000ms).Receive().Receive().ExpectEnd();
    RoomsFixture f({}, {chat});
    f.EnterRoomDirectly(QStringLiteral("Lobby"), QStringLiteral("bob"), false);
    f.w().AddRoomUser(QStringLiteral("bob"), false);
    f.w().AppendChatLine(QStringLiteral("bob: hi"));
    f.w().m_chatInput->setPlainText(QStringLiteral("half typed"));

    f.ops->LeaveRoom();

    EXPECT_TRUE(f.w().m_chatDisplay->toPlainText().isEmpty());
    EXPECT_TRUE(f.w().m_chatInput->toPlainText().isEmpty());
    EXPECT_TRUE(f.w().roomUsers().isEmpty());
    EXPECT_EQ(f.tw.users.Count(), 0);
    const auto got = f.ChatReceived(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], Rec(code1::kRequest, code2::kLeave));
    EXPECT_EQ(got[1], Rec(code1::kRequest, code2::kClosing, "alice left the chatroom!"));
    EXPECT_TRUE(f.chat.WaitForFinished(1, 3000ms));
    EXPECT_EQ(f.chat.ClientCloses(), 1);

    // Gone from the room: nothing more is sent, the lists are still emptied.
    f.w().AddRoomUser(QStringLiteral("carol"), false);
    f.w().AppendChatLine(QStringLiteral("x"));
    f.ops->LeaveRoom();
    EXPECT_TRUE(f.w().roomUsers().isEmpty());
    EXPECT_TRUE(f.w().m_chatDisplay->toPlainText().isEmpty());
    EXPECT_EQ(f.chat.Received().size(), 2u);
}

TEST(LeaveRoom, NoRoomPortSendsNothing) {
    RoomsFixture f({});
    f.EnterRoomDirectly(QStringLiteral("Lobby"), QStringLiteral("bob"), false);
    f.w().SetRoomPort(-1);
    f.ops->LeaveRoom();
    EXPECT_FALSE(f.chat.WaitForReceived(1, 300ms));
    EXPECT_TRUE(f.w().m_pChatSocket->HasOutputWriter());
}

TEST(RemoveRoom, RefusalBrokenAnswerAndUnreachableService) {
    kvtest::PeerScript cut;
    cut.Receive().Close();
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kRemoveRoom, {}, {}, 0)),
                    Answer(Rec(code1::kReply, code2::kRemoveRoom, {}, {}, 1)), cut});
    f.w().EnterRoom(QStringLiteral("Mine"));
    f.ops->RemoveRoom();
    f.ops->RemoveRoom();
    const auto got = f.ServiceReceived(4);
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got[0], Rec(code1::kRequest, code2::kRemoveRoom, "Mine"));
    EXPECT_EQ(got[1], Rec(code1::kReply, code2::kClosing));  // this exchange closes with {13, 25}
    EXPECT_EQ(f.w().m_chatDisplay->toPlainText(), Lines({RoomTexts::kRemoveFailed}));

    // An answer that never comes is reported as a failed removal, not swallowed.
    f.w().m_chatDisplay->clear();
    f.ops->RemoveRoom();
    EXPECT_EQ(f.w().m_chatDisplay->toPlainText(), Lines({RoomTexts::kRemoveFailed}));
    EXPECT_TRUE(f.tw.box.shown.isEmpty());

    const int closedPort = kvtest::ClosedPort();
    TestWindow tw([&](WindowServices& s) { s.endpoints.servicePort = closedPort; });
    FakeRoomDialogs dialogs;
    RoomOps ops(tw.w(), dialogs, [] { return true; });
    ops.RemoveRoom();
    EXPECT_EQ(tw.box.shown, QStringList{RoomTexts::kFailConnectChatServer});
}

TEST(RefreshRoomView, OwnerInBlueByExactNameAndTitleKeptWhenAlone) {
    RoomsFixture f({});
    f.w().EnterRoom(QStringLiteral("Lobby"));
    f.w().SetRoomOwner(QStringLiteral("Bob"));
    f.w().m_roomTitleEdit->setText(QStringLiteral("previous"));
    f.tw.users.AddColoredName(QStringLiteral("stale"), 0);

    f.ops->RefreshRoomView();
    EXPECT_EQ(f.tw.users.Count(), 0);
    EXPECT_EQ(f.w().m_roomTitleEdit->text(), QStringLiteral("previous"));

    // Arrivals are listed uncoloured; the view colours the owner named exactly.
    for (const char* name : {"carol", "Bob", "bob"})
        f.w().AddRoomUser(QString::fromLatin1(name), false);
    f.ops->RefreshRoomView();
    ASSERT_EQ(f.tw.users.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const bool owner = f.tw.users.Text(i) == QStringLiteral("Bob");
        EXPECT_EQ(f.tw.users.Colour(i), owner ? kOwnerColour : 0u)
            << f.tw.users.Text(i).toStdString();
    }
    EXPECT_EQ(f.w().m_roomTitleEdit->text(),
              RoomTitleLine(QStringLiteral("Lobby"), QStringLiteral("Bob")));
}

// The ownership rule after a change: the flag, both owner buttons and the skin's last
// command for each of its three owner buttons agree. Each change must itself tell the skin.
void ExpectOwnershipInStep(RoomsFixture& f, bool owner) {
    EXPECT_EQ(f.w().isOwner(), owner);
    EXPECT_EQ(f.w().m_assignButton->isEnabled(), owner);
    EXPECT_EQ(f.w().m_effectButton->isEnabled(), owner);
    const QString state =
        owner ? QStringLiteral(" EnableButton") : QStringLiteral(" DisableButton");
    for (const char* button : {"assignButton", "EffectButton", "closeEffectButton"}) {
        const QString named = QStringLiteral("goto %1 ").arg(QLatin1String(button));
        QString last;
        for (const QString& command : std::as_const(f.tw.skin.commands))
            if (command.contains(named)) last = command;
        EXPECT_TRUE(last.endsWith(state)) << button << ": \"" << last.toStdString() << '"';
    }
    f.tw.skin.commands.clear();
}

TEST(Ownership, EveryPathToAndFromOwnershipKeepsButtonsAndSkinInStep) {
    const CMsg list = Rec(13, 29, {}, {"-Mine", "-Other"}, 0, {1, 1});
    RoomsFixture f(
        {Answer(list), Answer(list), Answer(Rec(13, 99)), Answer(Rec(13, 44, {}, {}, 1))});
    f.ops->RefreshChannelList();
    CMsg handedOver = Rec(14, 43, {}, {"bob"});

    {
        SCOPED_TRACE("handed over by another user");
        f.w().DispatchRecord(handedOver);
        ExpectOwnershipInStep(f, true);
    }
    {
        SCOPED_TRACE("an owner's new room could not be entered");
        f.ops->lifecycle().EnterNoRoom(CKestrivanDlg::OwnerLoss::ByOwner);
        ExpectOwnershipInStep(f, false);
    }
    {
        SCOPED_TRACE("a room of one's own entered");
        f.ops->lifecycle().EnterAsOwner(QStringLiteral("Mine"), false);
        ExpectOwnershipInStep(f, true);
    }
    {
        SCOPED_TRACE("an owner alone changes room and fails to enter it");
        f.tw.box.answers = {true};
        QTreeWidget* rooms = f.w().m_channelList;
        rooms->setCurrentItem(rooms->findItems(QStringLiteral("Other"), Qt::MatchExactly).value(0));
        f.ops->ChangeRoom();
        ASSERT_EQ(f.tw.box.asked, QStringList{RoomTexts::kLoseOwnershipChange});
        ExpectOwnershipInStep(f, false);
    }
    {
        SCOPED_TRACE("handed on to somebody else");
        f.w().DispatchRecord(handedOver);
        ExpectOwnershipInStep(f, true);
        f.w().AddRoomUser(QStringLiteral("carol"), false);
        f.tw.users.Select(0);
        f.tw.box.answers = {true};
        f.w().OnAssignOwner();
        ExpectOwnershipInStep(f, false);
    }
    {
        SCOPED_TRACE("a new session");
        f.w().DispatchRecord(handedOver);
        f.tw.skin.commands.clear();
        f.w().ForgetRoom();
        ExpectOwnershipInStep(f, false);
        EXPECT_EQ(f.w().chatPort(), -1);
    }
}

}  // namespace
