#include <gtest/gtest.h>

#include <QPushButton>

#include "chat_harness.h"
#include "net/protocol.h"

using namespace chattest;
using kvtest::PeerScript;
using kvtest::ScriptPeer;

namespace {

const QStringList kGiveUp = {"goto assignButton DisableButton", "goto EffectButton DisableButton",
                             "goto closeEffectButton DisableButton"};
const QStringList kBecome = {"goto assignButton EnableButton", "goto EffectButton EnableButton",
                             "goto closeEffectButton EnableButton"};

// An owner in a room with ann and bob, connected to a listening chat host.
struct OwnerHarness : ListeningHarness {
    OwnerHarness() {
        w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
        w().SetRoomOwner(QStringLiteral("me"));
        w().AddRoomUser(QStringLiteral("ann"), false);
        w().AddRoomUser(QStringLiteral("bob"), false);
        skin.commands.clear();  // the cases look only at what they cause
    }
};

}  // namespace

TEST(Ownership, RefusedAssignmentsChangeNothing) {
    OwnerHarness h;
    ASSERT_TRUE(h.joined);
    // Nobody else in the room, whatever is selected.
    h.w().RemoveRoomUser(QStringLiteral("ann"));
    h.w().RemoveRoomUser(QStringLiteral("bob"));
    h.users.Select(0);
    h.w().OnAssignOwner();
    // Nothing selected.
    h.w().AddRoomUser(QStringLiteral("ann"), false);
    h.w().AddRoomUser(QStringLiteral("bob"), false);
    h.users.Select(-1);
    h.w().OnAssignOwner();
    // The user answers No.
    h.users.Select(1);
    h.box.answers = {false};
    h.w().OnAssignOwner();

    EXPECT_EQ(h.box.shown,
              QStringList({"There is no other people in the room. You cannnot assign ownership to "
                           "the others!",
                           "Please select one user from the user list before press this button!"}));
    EXPECT_EQ(h.box.asked, QStringList({"Are you sure to assign the room ownership to bob?"}));
    EXPECT_TRUE(h.w().isOwner());
    EXPECT_TRUE(h.w().m_assignButton->isEnabled());
    EXPECT_TRUE(h.w().m_effectButton->isEnabled());
    EXPECT_TRUE(h.skin.commands.isEmpty());
    EXPECT_TRUE(h.Sent().empty());
}

TEST(Ownership, ConfirmedAssignmentGivesTheRoomUpAtOnce) {
    OwnerHarness h;
    ASSERT_TRUE(h.joined);
    h.users.Select(0);
    h.w().OnAssignOwner();
    EXPECT_FALSE(h.w().isOwner());
    EXPECT_FALSE(h.w().m_assignButton->isEnabled());
    EXPECT_FALSE(h.w().m_effectButton->isEnabled());
    EXPECT_EQ(h.skin.commands, kGiveUp);
    EXPECT_EQ(h.w().ownerName(), QStringLiteral("me")) << "the server's record names the new owner";
    EXPECT_TRUE(h.Display().isEmpty());
    const auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code1, 14);
    EXPECT_EQ(sent[0].code2, 43);
    EXPECT_EQ(sent[0].text, "ann");
    EXPECT_EQ(sent[0].list, std::vector<std::string>({"me"}));
}

TEST(Ownership, AssignmentThatCannotBeSentIsReported) {
    OwnerHarness h;
    ASSERT_TRUE(h.joined);
    h.users.Select(1);
    h.w().m_pChatSocket->Abort();  // no output writer: nothing would leave
    h.w().OnAssignOwner();
    EXPECT_EQ(h.Lines(), QStringList({"There is error in connect server!"}));
    EXPECT_FALSE(h.w().isOwner());
    EXPECT_EQ(h.skin.commands, kGiveUp);

    OwnerHarness closed;
    ASSERT_TRUE(closed.joined);
    closed.users.Select(1);
    closed.w().m_pChatSocket->Close();
    closed.w().OnAssignOwner();
    EXPECT_EQ(closed.Lines(), QStringList({"There is error in connect server!"}));
    EXPECT_FALSE(closed.w().m_assignButton->isEnabled());
}

TEST(Ownership, WithoutAChatConnectionNothingChanges) {
    OwnerHarness h;
    h.users.Select(1);
    h.w().m_pChatSocket.reset();
    h.w().OnAssignOwner();
    EXPECT_EQ(h.box.shown, QStringList({"Error in assign owner!"}));
    EXPECT_TRUE(h.w().isOwner());
    EXPECT_TRUE(h.w().m_assignButton->isEnabled());
}

TEST(Ownership, BecomingTheOwner) {
    ChatHarness h;
    h.w().SetRoomOwner(QStringLiteral("ann"));
    ScriptPeer peer([] {
        PeerScript s;
        s.Send(Record(code2::kGiveOwnership, {}, {"ann", "ignored"})).Silent();
        return s;
    }());
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return h.w().isOwner(); }));
    EXPECT_EQ(h.w().ownerName(), QStringLiteral("me"));
    EXPECT_EQ(h.rooms.calls, QStringList({"RefreshRoomView"}));
    EXPECT_EQ(h.Lines(), QStringList({"ann give you the ownership of this room!", "",
                                      " Now! You are the owner of this Room! ",
                                      "You can use the effect button to send image effect or sound "
                                      "effect to other users! ",
                                      ""}));
    EXPECT_TRUE(h.w().m_effectButton->isEnabled());
    EXPECT_TRUE(h.w().m_assignButton->isEnabled());
    EXPECT_EQ(h.skin.commands, kBecome);
}

TEST(Ownership, OwnerChangedTakesTheLastEntry) {
    ChatHarness h;
    h.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    CMsg two = Record(code2::kOwnerChanged, {}, {"ann", "bob"});
    h.w().DispatchRecord(two);
    EXPECT_EQ(h.w().ownerName(), QStringLiteral("bob"));
    EXPECT_TRUE(h.w().isOwner());
    EXPECT_EQ(h.rooms.calls, QStringList({"RefreshRoomView"}));
    CMsg none = Record(code2::kOwnerChanged);
    h.w().DispatchRecord(none);
    EXPECT_TRUE(h.w().ownerName().isEmpty());
    CMsg giverUnknown = Record(code2::kGiveOwnership);
    h.w().DispatchRecord(giverUnknown);
    EXPECT_EQ(h.Lines().first(), QStringLiteral(" give you the ownership of this room!"));
}
