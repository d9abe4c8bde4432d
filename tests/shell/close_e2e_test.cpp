// Closing against a real zorvid: the owner's room is left and removed, a guest's leaving
// reaches the others, and an owner with guests is held back.
#include <gtest/gtest.h>

#include <QTest>
#include <QTreeWidget>

#include "e2e/e2e_client.h"
#include "fake_tray.h"
#include "shell/shell_ops.h"
#include "shell/shell_texts.h"

namespace {

constexpr int kWait = 5000;

// A client whose window closes through the shell, with the rooms subsystem's own leave
// and remove.
struct ClosingClient {
    ClosingClient(const ZorvidProcess& zorvid, const QString& name) : c(zorvid, name) {
        ShellHooks hooks;
        hooks.leaveRoom = [this] { c.rooms.LeaveRoom(); };
        hooks.removeRoom = [this] { c.rooms.RemoveRoom(); };
        hooks.saveTranscript = [] { return true; };
        shell = std::make_unique<ShellOps>(c.w(), tray, hooks);
    }
    E2EClient c;
    FakeTray tray;
    std::unique_ptr<ShellOps> shell;
};

bool Listed(E2EClient& viewer, const QString& room) {
    viewer.rooms.RefreshChannelList();
    for (int i = 0; i < viewer.w().m_channelList->topLevelItemCount(); ++i)
        if (viewer.w().m_channelList->topLevelItem(i)->text(0) == room) return true;
    return false;
}

TEST(CloseOnTheService, OwnerIsHeldBackThenLeavesAndRemovesTheRoom) {
    ZorvidProcess zorvid;
    ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
    ClosingClient ann(zorvid, QStringLiteral("ann"));
    E2EClient bob(zorvid, QStringLiteral("bob"));
    ASSERT_TRUE(ann.c.LogIn());
    ASSERT_TRUE(bob.LogIn());
    ann.c.dialogs.roomNames.push_back(QStringLiteral("farewell"));
    ann.c.rooms.OnNewRoom();
    ASSERT_TRUE(ann.c.w().isOwner());
    ASSERT_TRUE(bob.ChangeInto(QStringLiteral("farewell")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return ann.c.w().roomUsers().contains(QStringLiteral("bob")); }, kWait));

    // With bob present the owner may not go.
    EXPECT_EQ(ann.shell->OnCloseWindow(), CloseOutcome::Stopped);
    EXPECT_TRUE(ann.c.tw.box.shown.contains(shell_texts::OwnerMustAssign()));
    EXPECT_NE(ann.c.w().m_pChatSocket, nullptr);

    // Bob closes: his leaving reaches ann.
    ShellHooks bobHooks;
    bobHooks.leaveRoom = [&] { bob.rooms.LeaveRoom(); };
    bobHooks.removeRoom = [&] { bob.rooms.RemoveRoom(); };
    bobHooks.saveTranscript = [] { return true; };
    FakeTray bobTray;
    ShellOps bobShell(bob.w(), bobTray, bobHooks);
    bob.tw.box.answers = {true, false};
    EXPECT_EQ(bobShell.OnCloseWindow(), CloseOutcome::Ended);
    EXPECT_EQ(bob.w().m_pChatSocket, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ann.c.w().roomUsers().isEmpty(); }, kWait));
    EXPECT_TRUE(Listed(bob, QStringLiteral("farewell")));

    // Alone now: ann closes, and the room goes from the service.
    ann.c.tw.box.answers = {true, false};
    EXPECT_EQ(ann.shell->OnCloseWindow(), CloseOutcome::Ended);
    EXPECT_EQ(ann.c.w().m_pChatSocket, nullptr);
    EXPECT_FALSE(Listed(bob, QStringLiteral("farewell")));
    EXPECT_FALSE(ann.c.Hears(QStringLiteral("Error in Remove ChatRoom!")));
}

}  // namespace
