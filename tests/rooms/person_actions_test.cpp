#include "rooms/person_actions.h"

#include <gtest/gtest.h>

#include <QTest>

#include "chat/chat_texts.h"
#include "chat/display_text.h"
#include "net/protocol.h"
#include "rooms/room_texts.h"
#include "rooms/user_list_box.h"
#include "rooms_fixture.h"

namespace {

TEST(PrivateMessage, SentEchoedFilteredAndReportedWhenNotConnected) {
    RoomsFixture f({});
    // Not in a room yet: no output writer on the chat connection.
    f.ops->SendPrivateMessage(QStringLiteral("hi"), QStringLiteral("bob"));
    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kPrivateMessageError});

    f.EnterRoomDirectly(QStringLiteral("Lobby"), QStringLiteral("bob"), false);
    f.ops->SendPrivateMessage(QStringLiteral("you Fuck"), QStringLiteral("bob"));
    EXPECT_EQ(f.tw.box.shown.last(), RoomTexts::kBadWord);

    f.ops->SendPrivateMessage(QStringLiteral("see you at 5"), QStringLiteral("bob"));
    const auto got = f.ChatReceived(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0],
              Rec(code1::kRequest, code2::kPrivateMessage, "see you at 5", {"bob", "alice"}));
    EXPECT_EQ(f.w().m_chatDisplay->toPlainText(),
              DisplayForm(QStringLiteral("->bob: see you at 5\r\n")));
    EXPECT_EQ(f.tw.box.shown.size(), 2);

    // The chat connection aborted: the same error box.
    f.w().m_pChatSocket->Abort();
    f.ops->SendPrivateMessage(QStringLiteral("again"), QStringLiteral("bob"));
    EXPECT_EQ(f.tw.box.shown.last(), RoomTexts::kPrivateMessageError);
}

TEST(PrivateMessage, DoubleClickAndMenuCommandAskForTheSelectedPerson) {
    RoomsFixture f({});
    f.EnterRoomDirectly(QStringLiteral("Lobby"), QStringLiteral("bob"), false);
    f.tw.users.AddColoredName(QStringLiteral("bob"), kOwnerColour);
    f.tw.users.AddColoredName(QStringLiteral("carol"), 0);

    // Nothing selected: nothing asked.
    f.ops->OnMessageCommand();
    f.ops->OnUserDoubleClick();
    EXPECT_TRUE(f.dialogs.messageRecipients.isEmpty());

    f.tw.users.Select(1);
    f.dialogs.messageAnswers = {QString(), std::nullopt, QStringLiteral("hello carol")};
    f.ops->OnUserDoubleClick();  // Send with an empty message
    f.ops->OnMessageCommand();   // Cancel
    f.ops->OnMessageCommand();
    EXPECT_EQ(f.dialogs.messageRecipients, QStringList(3, QStringLiteral("carol")));
    const auto got = f.ChatReceived(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0],
              Rec(code1::kRequest, code2::kPrivateMessage, "hello carol", {"carol", "alice"}));
}

TEST(Beep, SelectedPersonIsBeepedAndFailuresGoToTheTranscript) {
    RoomsFixture f({});
    f.tw.users.AddColoredName(QStringLiteral("bob"), 0);
    f.ops->SendBeep();  // nothing selected
    EXPECT_TRUE(f.w().m_chatDisplay->toPlainText().isEmpty());

    f.tw.users.Select(0);
    f.ops->SendBeep();  // no room joined
    EXPECT_EQ(f.w().m_chatDisplay->toPlainText(),
              DisplayForm(QString(chat_texts::kBeepFailed) + "\r\n"));

    f.w().m_chatDisplay->clear();
    f.EnterRoomDirectly(QStringLiteral("Lobby"), QStringLiteral("bob"), false);
    f.ops->SendBeep();
    const auto got = f.ChatReceived(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], Rec(code1::kRequest, code2::kBeep, "bob", {"alice Beep you!"}));
    // Not echoed.
    EXPECT_TRUE(f.w().m_chatDisplay->toPlainText().isEmpty());
}

// A window whose user list is the real widget, placed and shown, for the pop-up menu.
struct MenuFixture : RoomsFixture {
    MenuFixture() : RoomsFixture({}) {
        list = new CUserListBox;
        WindowParts parts;
        parts.skin = &tw.skin;
        parts.media = &tw.media;
        parts.userList = list;
        parts.userListWidget = list;
        w().AttachParts(parts);
        ops.reset();
        ops = std::make_unique<RoomOps>(
            w(), dialogs, [this] { return Join(); }, [this] { ++effectsSent; });
        ops->Attach();
        w().resize(800, 600);
        w().show();
        w().AddRoomUser(QStringLiteral("bob"), true);
        w().AddRoomUser(QStringLiteral("carol"), false);
    }
    QPoint InsideList() { return list->mapToGlobal(QPoint(3, 3)); }
    QPoint OutsideList() { return list->mapToGlobal(QPoint(-20, -20)); }
    CUserListBox* list;
};

TEST(PersonMenu, OwnerItemsGrayedForMembersAndChoicesReachTheirActions) {
    MenuFixture f;
    f.EnterRoomDirectly(QStringLiteral("Lobby"), QStringLiteral("bob"), false);
    f.list->Select(1);
    f.dialogs.menuChoice = QStringLiteral("sendEffectAction");
    f.ops->ShowPersonMenu(f.InsideList());
    EXPECT_EQ(f.dialogs.menusShown, 1);
    EXPECT_EQ(f.dialogs.menuItems, (QStringList{QStringLiteral("Message"), QStringLiteral("Beep"),
                                                QStringLiteral("Send Effect (grayed)"),
                                                QStringLiteral("Give ownership (grayed)")}));
    EXPECT_EQ(f.effectsSent, 0);  // a grayed item does nothing

    f.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    f.ops->ShowPersonMenu(f.InsideList());
    EXPECT_EQ(f.dialogs.menuItems,
              (QStringList{QStringLiteral("Message"), QStringLiteral("Beep"),
                           QStringLiteral("Send Effect"), QStringLiteral("Give ownership")}));
    EXPECT_EQ(f.effectsSent, 1);

    f.dialogs.menuChoice = QStringLiteral("beepAction");
    f.ops->ShowPersonMenu(f.InsideList());
    const auto got = f.ChatReceived(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], Rec(code1::kRequest, code2::kBeep, "carol", {"alice Beep you!"}));

    // Give ownership runs the window's assignment, which asks first.
    f.tw.box.answers = {false};
    f.dialogs.menuChoice = QStringLiteral("giveOwnershipAction");
    f.ops->ShowPersonMenu(f.InsideList());
    EXPECT_EQ(f.tw.box.asked,
              QStringList{QString(chat_texts::kAssignQuestionHead) + QStringLiteral("carol") +
                          QString(chat_texts::kAssignQuestionTail)});
    EXPECT_TRUE(f.w().isOwner());
}

TEST(PersonMenu, NoMenuWithoutSelectionOutsideTheListOrFromTheKeyboard) {
    MenuFixture f;
    f.w().setFocus();
    f.ops->ShowPersonMenu(f.InsideList());
    EXPECT_EQ(f.dialogs.menusShown, 0);
    // Focus moved to the list even though no menu showed.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return f.list->hasFocus() || QApplication::focusWidget() == f.list; }, 2000));

    f.list->Select(0);
    f.ops->ShowPersonMenu(f.OutsideList());
    f.ops->ShowPersonMenu(std::nullopt);
    EXPECT_EQ(f.dialogs.menusShown, 0);

    // A context-menu event that reaches the window from the list shows the menu.
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(3, 3), f.InsideList());
    QApplication::sendEvent(&f.w(), &event);
    EXPECT_EQ(f.dialogs.menusShown, 1);
    QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(3, 3), f.InsideList());
    QApplication::sendEvent(&f.w(), &keyboard);
    EXPECT_EQ(f.dialogs.menusShown, 1);
}

}  // namespace
