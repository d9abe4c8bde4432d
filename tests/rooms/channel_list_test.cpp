#include <gtest/gtest.h>

#include "chat/display_text.h"
#include "net/protocol.h"
#include "rooms/room_texts.h"
#include "rooms/room_title.h"
#include "rooms_fixture.h"

namespace {

QStringList RowNames(QTreeWidget* list) {
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i) names << list->topLevelItem(i)->text(0);
    return names;
}

QStringList RowCounts(QTreeWidget* list) {
    QStringList counts;
    for (int i = 0; i < list->topLevelItemCount(); ++i) counts << list->topLevelItem(i)->text(2);
    return counts;
}

int RowImage(QTreeWidget* list, int row) {
    return list->topLevelItem(row)->data(1, ChannelList::kImageRole).toInt();
}

void SelectRow(QTreeWidget* list, const QString& name) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == name) list->setCurrentItem(list->topLevelItem(i));
    }
}

TEST(ChannelList, RepliesFillTablesAndRowsWithMarkersAndMissingCountsAsZero) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kChannelList, {},
                               {"-Quiet", "+Show", "xPlain", "-", ""}, 0, {4, 9})),
                    Answer(Rec(code1::kReply, code2::kChannelList + 1, {}, {"+Ignored"}, 0, {1})),
                    Answer(Rec(code1::kReply, code2::kChannelList))});
    f.ops->RefreshChannelList();
    auto& w = f.w();
    EXPECT_EQ(f.ServiceReceived(2).front(), Rec(code1::kRequest, code2::kChannelListRequest));
    EXPECT_EQ(w.channelNames(), (QStringList{QStringLiteral("Quiet"), QStringLiteral("Show"),
                                             QStringLiteral("Plain"), QString(), QString()}));
    EXPECT_EQ(w.channelAudio(), (QVector<int>{1, 2, 3, 1, 3}));
    // The reply carries two counts for five rooms: the rest count as nobody.
    EXPECT_EQ(w.channelPeople(), (QVector<int>{4, 9, 0, 0, 0}));
    ASSERT_EQ(w.m_channelList->topLevelItemCount(), 5);
    EXPECT_EQ(RowCounts(w.m_channelList), (QStringList{"4", "9", "0", "0", "0"}));
    EXPECT_EQ(RowImage(w.m_channelList, 0), ChannelList::kNoAudioImage);
    EXPECT_EQ(RowImage(w.m_channelList, 1), ChannelList::kAudioImage);
    EXPECT_EQ(RowImage(w.m_channelList, 2), ChannelList::kAudioImage);
    EXPECT_FALSE(w.m_channelList->topLevelItem(0)->icon(1).isNull());

    // Any other reply, and an empty list, leave everything empty.
    f.ops->RefreshChannelList();
    EXPECT_TRUE(w.channelNames().isEmpty());
    EXPECT_EQ(w.m_channelList->topLevelItemCount(), 0);
    f.ops->RefreshChannelList();
    EXPECT_TRUE(w.channelPeople().isEmpty());
    EXPECT_TRUE(f.tw.box.shown.isEmpty());
}

TEST(ChannelList, BrokenFetchKeepsTheOldListAndSaysSo) {
    kvtest::PeerScript cut;
    cut.Receive().Close();
    RoomsFixture f(
        {Answer(Rec(code1::kReply, code2::kChannelList, {}, {"-A", "+B"}, 0, {1, 2})), cut});
    f.ops->RefreshChannelList();
    f.ops->RefreshChannelList();
    EXPECT_EQ(f.w().channelNames(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    EXPECT_EQ(f.w().m_channelList->topLevelItemCount(), 2);
    EXPECT_EQ(f.w().m_chatDisplay->toPlainText(),
              DisplayForm(RoomTexts::kChannelUpdateError + "\r\n"));
}

TEST(ChannelList, UnreachableServiceShowsTheConnectMessage) {
    const int closedPort = kvtest::ClosedPort();
    TestWindow tw([&](WindowServices& s) { s.endpoints.servicePort = closedPort; });
    FakeRoomDialogs dialogs;
    RoomOps ops(tw.w(), dialogs, [] { return true; });
    ops.RefreshChannelList();
    EXPECT_EQ(tw.box.shown, QStringList{RoomTexts::kFailConnectServer});
    // The look-up fails silently with port -1.
    EXPECT_EQ(ops.LookUpRoom(QStringLiteral("A")), -1);
    EXPECT_EQ(tw.box.shown.size(), 1);
}

TEST(ChannelList, ProgressWindowOnlyForSlowRefreshes) {
    kvtest::PeerScript slow;
    slow.StepTimeout(3000ms)
        .Receive()
        .Wait(400ms)
        .Send(Rec(code1::kReply, code2::kChannelList))
        .Receive()
        .Close();
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kChannelList)), slow});
    f.ops->channels().SetProgressDelay(150);
    f.ops->RefreshChannelList();
    EXPECT_TRUE(f.dialogs.progressShown.isEmpty());
    f.ops->RefreshChannelList();
    EXPECT_EQ(f.dialogs.progressShown, QStringList{RoomTexts::kUpdatingChannels});
    EXPECT_EQ(f.dialogs.progressHidden, 1);
}

TEST(ChannelList, SortsByEachColumnKeepingEveryRow) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kChannelList, {},
                               {"-delta", "+Alpha", "xcharlie", "-bravo"}, 0, {3, 5, 3, 10}))});
    f.ops->RefreshChannelList();
    QTreeWidget* list = f.w().m_channelList;

    f.ops->OnChannelColumnClick(0);
    EXPECT_EQ(RowNames(list), (QStringList{"Alpha", "bravo", "charlie", "delta"}));

    f.ops->OnChannelColumnClick(2);
    EXPECT_EQ(RowCounts(list).size(), 4);
    EXPECT_EQ(RowCounts(list).mid(0, 2), (QStringList{"10", "5"}));
    // Equal counts: both rows kept, in either order.
    QStringList lastTwo = RowNames(list).mid(2);
    lastTwo.sort();
    EXPECT_EQ(lastTwo, (QStringList{"charlie", "delta"}));

    f.ops->OnChannelColumnClick(1);
    QStringList speakers = RowNames(list).mid(0, 2);
    speakers.sort();
    EXPECT_EQ(speakers, (QStringList{"Alpha", "charlie"}));
    EXPECT_EQ(RowImage(list, 2), ChannelList::kNoAudioImage);
    EXPECT_EQ(RowImage(list, 3), ChannelList::kNoAudioImage);

    // Many equal keys must not upset the sort.
    std::vector<std::string> names;
    std::vector<std::int32_t> counts;
    for (int i = 0; i < 200; ++i) {
        names.push_back("-r" + std::to_string(i));
        counts.push_back(i % 3);
    }
    RoomsFixture g({Answer(Rec(code1::kReply, code2::kChannelList, {}, names, 0, counts))});
    g.ops->RefreshChannelList();
    g.ops->OnChannelColumnClick(2);
    g.ops->OnChannelColumnClick(1);
    EXPECT_EQ(g.w().m_channelList->topLevelItemCount(), 200);
    EXPECT_EQ(g.w().m_channelList->topLevelItem(0)->text(2), QStringLiteral("2"));
}

TEST(ChannelList, CompareChannelsFollowsItsTable) {
    EXPECT_LT(ChannelList::CompareChannels(QStringLiteral("alpha"), QStringLiteral("Beta"), 0), 0);
    EXPECT_EQ(ChannelList::CompareChannels(QStringLiteral("ALPHA"), QStringLiteral("alpha"), 0), 0);
    EXPECT_GT(ChannelList::CompareChannels(QStringLiteral("zed"), QStringLiteral("Alpha"), 0), 0);
    EXPECT_EQ(ChannelList::CompareChannels(1, 5, 2), 1);
    EXPECT_EQ(ChannelList::CompareChannels(5, 1, 2), -1);
    EXPECT_EQ(ChannelList::CompareChannels(3, 3, 2), -1);
    EXPECT_EQ(ChannelList::CompareChannels(0, 1, 1), 1);
    EXPECT_EQ(ChannelList::CompareChannels(1, 0, 7), -1);
}

TEST(LookUpRoom, PortAndOwnerFromTheAnswerAndMinusOneOtherwise) {
    kvtest::PeerScript cut;
    cut.Receive().Close();
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kRoomLookUp, "bob", {}, 0, {6100, 1})),
                    Answer(Rec(code1::kReply, code2::kRoomLookUp, "carol")),
                    Answer(Rec(code1::kReply, code2::kRoomLookUp + 1, "dave", {}, 0, {6200})),
                    cut});
    EXPECT_EQ(f.ops->LookUpRoom(QStringLiteral("Lobby")), 6100);
    EXPECT_EQ(f.w().ownerName(), QStringLiteral("bob"));
    EXPECT_EQ(f.ServiceReceived(2)[0], Rec(code1::kRequest, code2::kRoomLookUp, "Lobby"));
    // No port in the answer.
    EXPECT_EQ(f.ops->LookUpRoom(QStringLiteral("Lobby")), -1);
    EXPECT_EQ(f.ops->LookUpRoom(QStringLiteral("Lobby")), -1);
    EXPECT_EQ(f.w().ownerName(), QStringLiteral("carol"));
    EXPECT_TRUE(f.w().m_chatDisplay->toPlainText().isEmpty());
    // The exchange breaks off.
    EXPECT_EQ(f.ops->LookUpRoom(QStringLiteral("Lobby")), -1);
    EXPECT_EQ(f.w().m_chatDisplay->toPlainText(),
              DisplayForm(RoomTexts::kUnableConnectServer + "\r\n"));
}

TEST(ChangeRoom, RefusedWithoutSelectionAndForAnOwnerWithPeople) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kChannelList, {}, {"-A", "-B"}, 0, {1, 1}))});
    f.ops->RefreshChannelList();
    f.ops->ChangeRoom();
    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kChooseRoom});

    SelectRow(f.w().m_channelList, QStringLiteral("B"));
    f.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    f.w().AddRoomUser(QStringLiteral("bob"), false);
    f.ops->ChangeRoom();
    EXPECT_EQ(f.tw.box.shown.last(), RoomTexts::kOwnerMustAssign);

    f.w().RemoveRoomUser(QStringLiteral("bob"));
    f.tw.box.answers = {false};
    f.ops->ChangeRoom();
    EXPECT_EQ(f.tw.box.asked, QStringList{RoomTexts::kLoseOwnershipChange});
    EXPECT_EQ(f.service.Accepted(), 1);  // only the refresh
    EXPECT_TRUE(f.w().isOwner());
    EXPECT_EQ(f.joins, 0);
}

TEST(ChangeRoom, FailedLookUpEndsInNoRoomWithTheChosenName) {
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kChannelList, {}, {"-Target"}, 0, {2})),
                    Answer(Rec(code1::kReply, kNotACode))});
    f.ops->RefreshChannelList();
    f.EnterRoomDirectly(QStringLiteral("Old"), QStringLiteral("bob"), false);
    f.w().m_roomTitleEdit->setText(QStringLiteral("Old  (bob)"));
    SelectRow(f.w().m_channelList, QStringLiteral("Target"));
    f.ops->ChangeRoom();
    EXPECT_EQ(f.joinedPort, -1);
    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kJoinFailed});
    EXPECT_EQ(f.w().roomName(), QStringLiteral("Target"));
    EXPECT_TRUE(f.w().m_roomTitleEdit->text().isEmpty());
    EXPECT_EQ(f.w().chatPort(), -1);
    // The old room was left before the join was tried.
    const auto left = f.ChatReceived(2);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], Rec(code1::kRequest, code2::kLeave));
    EXPECT_EQ(left[1], Rec(code1::kRequest, code2::kClosing, "alice left the chatroom!"));
    EXPECT_EQ(f.tw.skin.commands,
              (QStringList{QStringLiteral("goto assignButton DisableButton"),
                           QStringLiteral("goto closeEffectButton DisableButton"),
                           QStringLiteral("goto EffectButton DisableButton")}));
}

TEST(ChangeRoom, DoubleClickEntersALiveShowRoomAsMember) {
    RoomsFixture f({});
    kvtest::ScriptPeer service(
        {Answer(Rec(code1::kReply, code2::kChannelList, {}, {"+Show", "-Quiet"}, 0, {2, 0})),
         Answer(Rec(code1::kReply, code2::kRoomLookUp, "bob", {}, 0, {f.chat.port()})),
         Answer(Rec(code1::kReply, code2::kChannelList, {}, {"+Show"}, 0, {3}))});
    TestWindow tw([&](WindowServices& s) { s.endpoints.servicePort = service.port(); });
    auto& w = tw.w();
    w.SetIdentity(QStringLiteral("alice"), {});
    // An owner alone in the room is asked, then loses the room.
    w.BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    tw.skin.commands.clear();
    RoomOps ops(w, f.dialogs, [&] {
        auto& s = *w.m_pChatSocket;
        if (!s.Create() || !s.Connect("127.0.0.1", w.chatPort())) return false;
        s.Init();
        return true;
    });
    ops.Attach();
    ops.RefreshChannelList();
    QTreeWidgetItem* row = w.m_channelList->topLevelItem(0);
    ASSERT_EQ(row->text(0), QStringLiteral("Show"));
    w.m_channelList->setCurrentItem(row);
    tw.media.calls.clear();

    emit w.m_channelList->itemDoubleClicked(row, 0);

    EXPECT_EQ(tw.box.asked, QStringList{RoomTexts::kLoseOwnershipChange});
    EXPECT_EQ(w.roomName(), QStringLiteral("Show"));
    EXPECT_EQ(w.ownerName(), QStringLiteral("bob"));
    EXPECT_FALSE(w.isOwner());
    EXPECT_EQ(w.chatPort(), f.chat.port());
    EXPECT_EQ(w.m_roomTitleEdit->text(),
              RoomTitleLine(QStringLiteral("Show"), QStringLiteral("bob")));
    EXPECT_EQ(w.m_chatDisplay->toPlainText(),
              DisplayForm(QStringLiteral("Hello! Welcome! alice! \r\n\r\n")));
    EXPECT_FALSE(w.m_chatInput->isReadOnly());
    EXPECT_TRUE(w.m_sendButton->isEnabled());
    EXPECT_FALSE(w.m_effectButton->isEnabled());
    EXPECT_EQ(tw.skin.commands, (QStringList{QStringLiteral("goto assignButton DisableButton"),
                                             QStringLiteral("goto closeEffectButton DisableButton"),
                                             QStringLiteral("goto EffectButton DisableButton")}));
    EXPECT_EQ(tw.media.calls, (QStringList{QStringLiteral("Stop"), QStringLiteral("Stop")}));
    // The live show is asked for on the chat connection.
    const auto asked = f.ChatReceived(1);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], Rec(code1::kRequest, code2::kLiveShowRequest, "Show"));
    // The list was fetched again after entering.
    EXPECT_TRUE(service.WaitForFinished(3, 3000ms));
    EXPECT_EQ(w.channelPeople(), QVector<int>{3});
}

}  // namespace
