// Two and three people meeting in rooms of a real zorvid, each through the window's own
// operations.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include "chat/user_list.h"
#include "e2e/e2e_client.h"

namespace {

constexpr int kWait = 5000;

template <typename Pred>
bool Eventually(Pred pred) {
    return QTest::qWaitFor(pred, kWait);
}

class ConversationE2E : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString(); }

    // `owner` creates `room`, each guest changes into it, and all see each other.
    void Meet(E2EClient& owner, const QString& room, std::initializer_list<E2EClient*> guests) {
        owner.dialogs.roomNames.push_back(room);
        owner.rooms.OnNewRoom();
        ASSERT_TRUE(owner.w().isOwner());
        ASSERT_EQ(owner.w().roomName(), room);
        for (E2EClient* g : guests) {
            ASSERT_TRUE(g->ChangeInto(room)) << g->Conversation().toStdString();
            EXPECT_EQ(g->w().ownerName(), owner.w().nickname());
            ASSERT_TRUE(
                Eventually([&] { return owner.w().roomUsers().contains(g->w().nickname()); }));
        }
    }

    ZorvidProcess zorvid;
};

TEST_F(ConversationE2E, TwoPeopleMeetTalkWhisperAndBeep) {
    E2EClient ann(zorvid, QStringLiteral("ann")), bob(zorvid, QStringLiteral("bob"));
    ASSERT_TRUE(ann.LogIn());
    ASSERT_TRUE(bob.LogIn());
    Meet(ann, QStringLiteral("tea"), {&bob});

    // Each sees the other; the owner is drawn in blue on the guest's side.
    ASSERT_TRUE(Eventually([&] { return bob.tw.users.Names().contains(QStringLiteral("ann")); }));
    const int annIndex = bob.tw.users.Names().indexOf(QStringLiteral("ann"));
    EXPECT_EQ(bob.tw.users.Colour(annIndex), kOwnerColour);
    const int bobIndex = ann.tw.users.Names().indexOf(QStringLiteral("bob"));
    ASSERT_GE(bobIndex, 0);
    EXPECT_EQ(ann.tw.users.Colour(bobIndex), 0u);
    EXPECT_TRUE(bob.w().m_roomTitleEdit->text().startsWith(QStringLiteral("tea")));
    EXPECT_TRUE(bob.w().m_roomTitleEdit->text().endsWith(QStringLiteral("(ann)")));

    // A room line reaches both, the sender only as the host returns it.
    ann.w().SendChat(QStringLiteral("hello bob"));
    EXPECT_TRUE(Eventually([&] { return bob.Hears(QStringLiteral("ann: hello bob")); }));
    EXPECT_TRUE(Eventually([&] { return ann.Hears(QStringLiteral("ann: hello bob")); }));

    // A private message reaches only its recipient; the sender sees the echo.
    bob.rooms.SendPrivateMessage(QStringLiteral("psst"), QStringLiteral("ann"));
    EXPECT_TRUE(bob.Hears(QStringLiteral("->ann: psst")));
    EXPECT_TRUE(Eventually([&] { return ann.Hears(QStringLiteral("bob->psst")); }));

    // A beep arrives as a notice with its sound.
    ASSERT_TRUE(ann.SelectPerson(QStringLiteral("bob")));
    ann.rooms.SendBeep();
    EXPECT_TRUE(Eventually([&] { return bob.Hears(QStringLiteral("ann Beep you!")); }));
    bool beeped = false;
    for (const auto& [sound, wait] : bob.tw.sounds.played) beeped |= sound == ProgramSound::Beep;
    EXPECT_TRUE(beeped);
}

TEST_F(ConversationE2E, OwnerKicksAThirdAndHandsTheRoomOver) {
    E2EClient ann(zorvid, QStringLiteral("ann")), bob(zorvid, QStringLiteral("bob")),
        cy(zorvid, QStringLiteral("cy"));
    ASSERT_TRUE(ann.LogIn() && bob.LogIn() && cy.LogIn());
    Meet(ann, QStringLiteral("den"), {&bob, &cy});

    ann.w().SendChat(QStringLiteral("/kick cy"));
    EXPECT_TRUE(Eventually([&] {
        return cy.Hears(QStringLiteral("You are disconnected from the server!"));
    })) << cy.Conversation().toStdString();
    EXPECT_TRUE(Eventually([&] { return !ann.w().roomUsers().contains(QStringLiteral("cy")); }));
    EXPECT_TRUE(Eventually([&] { return !bob.tw.users.Names().contains(QStringLiteral("cy")); }));

    // Hand-over: the giver stops being owner at once, the taker is told, the other updates.
    ASSERT_TRUE(ann.SelectPerson(QStringLiteral("bob")));
    ann.w().OnAssignOwner();
    EXPECT_FALSE(ann.w().isOwner());
    EXPECT_TRUE(Eventually([&] { return bob.w().isOwner(); }));
    EXPECT_TRUE(bob.Hears(QStringLiteral("ann give you the ownership of this room!")));
    EXPECT_TRUE(Eventually([&] { return ann.w().ownerName() == QStringLiteral("bob"); }));
    const int bobIndex = ann.tw.users.Names().indexOf(QStringLiteral("bob"));
    ASSERT_GE(bobIndex, 0);
    EXPECT_EQ(ann.tw.users.Colour(bobIndex), kOwnerColour);
}

TEST_F(ConversationE2E, RoomIsRemovedWhenItsOwnerLeavesAlone) {
    E2EClient ann(zorvid, QStringLiteral("ann"));
    ASSERT_TRUE(ann.LogIn());
    ann.dialogs.roomNames.push_back(QStringLiteral("solo"));
    ann.rooms.OnNewRoom();
    ASSERT_TRUE(ann.w().isOwner());
    auto listed = [&](const QString& room) {
        ann.rooms.RefreshChannelList();
        for (int i = 0; i < ann.w().m_channelList->topLevelItemCount(); ++i)
            if (ann.w().m_channelList->topLevelItem(i)->text(0) == room) return true;
        return false;
    };
    ASSERT_TRUE(listed(QStringLiteral("solo")));

    ASSERT_TRUE(ann.ChangeInto(QStringLiteral("Lobby")));  // the owner alone is asked, says Yes
    EXPECT_FALSE(ann.w().isOwner());
    EXPECT_FALSE(listed(QStringLiteral("solo")));
    EXPECT_FALSE(ann.Hears(QStringLiteral("Error in Remove ChatRoom!")));
}

TEST_F(ConversationE2E, FindReportsTheRoomAndDeliversAMessage) {
    E2EClient ann(zorvid, QStringLiteral("ann")), bob(zorvid, QStringLiteral("bob"));
    ASSERT_TRUE(ann.LogIn() && bob.LogIn());
    ASSERT_TRUE(bob.ChangeInto(QStringLiteral("Lobby")));

    EXPECT_EQ(ann.rooms.FindUser(QStringLiteral("bob")), QStringLiteral("Lobby"));
    EXPECT_EQ(ann.rooms.FindUser(QStringLiteral("nobody")), QString());
    ann.rooms.SendToFoundUser(QStringLiteral("bob"), QStringLiteral("Lobby"),
                              QStringLiteral("hi there"));
    EXPECT_TRUE(Eventually([&] { return bob.Hears(QStringLiteral("ann->hi there")); }))
        << bob.Conversation().toStdString();

    ann.w().SendChat(QStringLiteral("/find bob"));
    EXPECT_TRUE(ann.Hears(QStringLiteral("bob is in Room <Lobby> !")));
}

TEST_F(ConversationE2E, OwnerSendsImageToAllAndSoundToOne) {
    E2EClient ann(zorvid, QStringLiteral("ann")), bob(zorvid, QStringLiteral("bob")),
        cy(zorvid, QStringLiteral("cy"));
    ASSERT_TRUE(ann.LogIn() && bob.LogIn() && cy.LogIn());
    Meet(ann, QStringLiteral("fx"), {&bob, &cy});

    const QString picture = zorvid.webUrl() + QStringLiteral("/effect/pic_1.htm");
    ann.tw.effectPane.SetPage(picture, QStringLiteral("ChoosePic"));
    ann.effects.SendEffectToAll();
    EXPECT_EQ(ann.tw.box.shown.value(0), QStringLiteral("Your effect is sent to all people!"));
    for (E2EClient* r : {&bob, &cy}) {
        EXPECT_TRUE(Eventually([&] { return r->tw.effectPane.Address() == picture; }));
        EXPECT_TRUE(r->tw.effectPane.IsVisible());
        EXPECT_TRUE(r->Hears(QStringLiteral("ann send you a image effect!")));
    }

    const QString sound = zorvid.webUrl() + QStringLiteral("/effect/sound_1.htm");
    ann.tw.effectPane.SetPage(sound, QStringLiteral("ChooseSound"));
    ann.tw.effectPane.SetVisible(true);
    ASSERT_TRUE(ann.SelectPerson(QStringLiteral("bob")));
    ann.effects.SendEffectToUser();
    EXPECT_TRUE(Eventually([&] { return bob.tw.effectPane.Address() == sound; }));
    EXPECT_TRUE(bob.Hears(QStringLiteral("ann send you a sound effect!")));
    // Only the named person receives it: a room line sent after it reaches cy first, and
    // the host keeps the order of one sender's records.
    ann.w().SendChat(QStringLiteral("after the sound"));
    ASSERT_TRUE(Eventually([&] { return cy.Hears(QStringLiteral("after the sound")); }))
        << cy.Conversation().toStdString();
    EXPECT_EQ(cy.tw.effectPane.Address(), picture);
    EXPECT_FALSE(cy.Hears(QStringLiteral("ann send you a sound effect!")));
}

}  // namespace
