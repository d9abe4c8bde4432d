// The close sequence's branches, driven through the shell with recording fakes.
#include "shell/close_sequence.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "fake_tray.h"
#include "net/cmsg.h"
#include "shell/automation_factory.h"
#include "shell/first_visible_line.h"
#include "shell/kestrivan_dlg_auto_proxy.h"
#include "shell/shell_ops.h"
#include "shell/shell_texts.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"

namespace {

// The window, the shell and a journal of the steps the rooms subsystem and the transcript
// were asked for, in order.
struct ClosingWindow {
    ClosingWindow() {
        ShellHooks hooks;
        hooks.leaveRoom = [this] { journal << QStringLiteral("leave"); };
        hooks.removeRoom = [this] { journal << QStringLiteral("remove"); };
        hooks.saveTranscript = [this] {
            journal << QStringLiteral("save");
            return saveSucceeds;
        };
        shell = std::make_unique<ShellOps>(t.w(), tray, hooks);
        shell->AddTrayIcon();
        t.w().m_chatDisplay->setPlainText(QStringLiteral("alice: hello\nbob: hi"));
        t.w().show();
    }
    TestWindow t;
    FakeTray tray;
    QStringList journal;
    bool saveSucceeds = true;
    std::unique_ptr<ShellOps> shell;
};

const QStringList& HideCommands() {
    static const QStringList commands = [] {
        QStringList c;
        for (const char* command : shell_texts::kHideWingCommands)
            c << QString::fromLatin1(command);
        return c;
    }();
    return commands;
}

TEST(CloseSequence, NoAtTheQuestionChangesNothing) {
    ClosingWindow c;
    c.t.box.answers = {false};
    c.t.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::Stopped);
    EXPECT_EQ(c.t.box.asked, QStringList{shell_texts::AreYouSureExit()});
    EXPECT_TRUE(c.journal.isEmpty());
    EXPECT_TRUE(c.t.skin.commands.filter(QStringLiteral("hide")).isEmpty());
    EXPECT_TRUE(c.t.sounds.played.empty());
    EXPECT_TRUE(c.tray.isShown());
    EXPECT_NE(c.t.w().m_pChatSocket, nullptr);
    EXPECT_TRUE(c.t.w().isVisible());
}

TEST(CloseSequence, OwnerWithPeoplePresentIsStopped) {
    ClosingWindow c;
    c.t.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    c.t.w().AddRoomUser(QStringLiteral("bob"), false);
    EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::Stopped);
    EXPECT_EQ(c.t.box.shown, QStringList{shell_texts::OwnerMustAssign()});
    EXPECT_TRUE(c.t.box.shown.first().endsWith(QStringLiteral("user! ")));
    EXPECT_EQ(c.t.box.asked.size(), 1);  // no save question
    EXPECT_TRUE(c.journal.isEmpty());
    EXPECT_TRUE(c.tray.isShown());
    EXPECT_TRUE(c.t.w().isVisible());

    // An owner alone in the room may close; the room is then removed.
    c.t.w().RemoveRoomUser(QStringLiteral("bob"));
    c.t.box.answers = {true, false};
    EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::Ended);
    EXPECT_EQ(c.journal, QStringList{QStringLiteral("remove")});
    EXPECT_FALSE(c.t.w().isVisible());
}

TEST(CloseSequence, RunsEveryStepInOrderAndEnds) {
    ClosingWindow c;
    QSignalSpy finished(&c.t.w(), &QDialog::finished);
    c.t.w().SetSoundOn(true);
    c.t.skin.commands.clear();
    EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::Ended);
    EXPECT_EQ(c.t.box.asked,
              (QStringList{shell_texts::AreYouSureExit(), shell_texts::SaveChatQuestion()}));
    EXPECT_EQ(c.journal, QStringList{QStringLiteral("save")});
    EXPECT_EQ(c.t.skin.commands, HideCommands());
    ASSERT_EQ(c.t.sounds.played.size(), 1u);
    EXPECT_EQ(c.t.sounds.played[0].first, ProgramSound::Goodbye);
    EXPECT_TRUE(c.t.sounds.played[0].second) << "the goodbye sound must be waited for";
    EXPECT_FALSE(c.tray.isShown());
    EXPECT_EQ(c.t.w().m_pChatSocket, nullptr);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(c.t.w().isVisible());
}

TEST(CloseSequence, SoundOffDoesNotWaitAndSaveQuestionDependsOnFirstVisibleLine) {
    ClosingWindow c;
    c.t.w().SetSoundOn(false);
    // The first line is blank although later lines hold text: no save question.
    c.t.w().m_chatDisplay->setPlainText(QStringLiteral("\nbob: hi\ncarol: hello"));
    EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::Ended);
    EXPECT_EQ(c.t.box.asked, QStringList{shell_texts::AreYouSureExit()});
    EXPECT_TRUE(c.journal.isEmpty());
    EXPECT_TRUE(c.t.sounds.played.empty());
}

TEST(CloseSequence, ScrolledToABlankLineSkipsTheQuestion) {
    TestWindow t;
    QPlainTextEdit& display = *t.w().m_chatDisplay;
    display.resize(300, 80);
    display.show();
    QString text;
    for (int i = 0; i < 40; ++i)
        text += (i == 30 ? QString() : QStringLiteral("line %1").arg(i)) + QLatin1Char('\n');
    display.setPlainText(text);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return display.verticalScrollBar()->maximum() >= 30; }, 5000));
    display.verticalScrollBar()->setValue(30);
    EXPECT_EQ(FirstVisibleLine(display), QString());
    display.verticalScrollBar()->setValue(29);
    EXPECT_EQ(FirstVisibleLine(display), QStringLiteral("line 29"));
    display.setPlainText(QString(400, QLatin1Char('x')));
    display.setLineWrapMode(QPlainTextEdit::NoWrap);
    display.verticalScrollBar()->setValue(0);
    EXPECT_EQ(FirstVisibleLine(display).size(), 255);
}

TEST(CloseSequence, FailedSaveIsReportedAndClosingGoesOn) {
    ClosingWindow c;
    c.saveSucceeds = false;
    EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::Ended);
    EXPECT_EQ(c.t.box.shown, QStringList{shell_texts::SaveError()});
    EXPECT_EQ(c.t.skin.commands.mid(c.t.skin.commands.size() - 4), HideCommands());
    EXPECT_FALSE(c.tray.isShown());
}

TEST(CloseSequence, LeavesOnlyOverAnEstablishedConnectionInARoom) {
    kvtest::PeerScript script;
    script.Silent();
    kvtest::ScriptPeer peer(script);
    {
        ClosingWindow c;
        auto& socket = *c.t.w().m_pChatSocket;
        ASSERT_TRUE(socket.Create());
        ASSERT_TRUE(socket.Connect("127.0.0.1", peer.port()));
        socket.Init();
        c.t.w().SetRoomPort(peer.port());
        c.t.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
        c.t.box.answers = {true, false};
        EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::Ended);
        EXPECT_EQ(c.journal, (QStringList{QStringLiteral("leave"), QStringLiteral("remove")}));
        EXPECT_EQ(c.t.w().m_pChatSocket, nullptr);
    }
    {
        // Connected but in no room: nothing to leave, the connection still goes.
        ClosingWindow c;
        auto& socket = *c.t.w().m_pChatSocket;
        ASSERT_TRUE(socket.Create());
        ASSERT_TRUE(socket.Connect("127.0.0.1", peer.port()));
        c.t.w().SetRoomPort(-1);
        c.t.box.answers = {true, false};
        c.shell->OnCloseWindow();
        EXPECT_TRUE(c.journal.isEmpty());
        EXPECT_EQ(c.t.w().m_pChatSocket, nullptr);
    }
    {
        // A room port but a connection that never connected: no leave.
        ClosingWindow c;
        c.t.w().SetRoomPort(4000);
        c.t.box.answers = {true, false};
        c.shell->OnCloseWindow();
        EXPECT_TRUE(c.journal.isEmpty());
    }
}

TEST(CloseSequence, CloseRequestOfTheWindowRunsTheSequence) {
    ClosingWindow c;
    c.t.box.answers = {false};
    EXPECT_FALSE(c.t.w().close());
    EXPECT_TRUE(c.t.w().isVisible());
    EXPECT_EQ(c.t.box.asked, QStringList{shell_texts::AreYouSureExit()});
    c.t.box.answers = {true, false};
    c.t.w().close();
    EXPECT_FALSE(c.t.w().isVisible());
    EXPECT_FALSE(c.tray.isShown());
}

TEST(CloseSequence, HeldByAutomationHidesInsteadOfEnding) {
    ClosingWindow c;
    QSignalSpy finished(&c.t.w(), &QDialog::finished);
    AutomationFactory factory;
    QObject::connect(&factory, &AutomationFactory::released, c.shell.get(),
                     &ShellOps::OnAutomationReleased);
    factory.AttachWindow(&c.t.w());
    ASSERT_TRUE(factory.Create(QStringLiteral(":1.7")));
    ASSERT_NE(c.t.w().m_pAutoProxy, nullptr);
    c.t.box.answers = {true, false};
    EXPECT_EQ(c.shell->OnCloseWindow(), CloseOutcome::KeptAlive);
    EXPECT_FALSE(c.t.w().isVisible());
    EXPECT_FALSE(c.tray.isShown());
    EXPECT_EQ(finished.count(), 0);
    // The client lets go: the window's back-pointer is cleared and the closed window ends.
    factory.proxy()->Release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 5000)) << finished.count();
    EXPECT_EQ(c.t.w().m_pAutoProxy, nullptr);
    EXPECT_EQ(factory.proxy(), nullptr);
}

}  // namespace
