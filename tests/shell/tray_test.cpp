// The notification-area icon, its menu, minimising and the window's own menu commands.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "fake_tray.h"
#include "shell/main_window_run.h"
#include "shell/shell_ops.h"
#include "shell/shell_texts.h"
#include "shell/tray_icon.h"
#include "support/test_window.h"

namespace {

struct TrayWindow {
    explicit TrayWindow(bool trayPresent = true) {
        tray.present = trayPresent;
        ShellHooks hooks;
        hooks.saveTranscript = [] { return true; };
        hooks.showAbout = [this] { ++abouts; };
        shell = std::make_unique<ShellOps>(t.w(), tray, hooks);
        shell->AddTrayIcon();
        t.w().show();
    }
    TestWindow t;
    FakeTray tray;
    int abouts = 0;
    std::unique_ptr<ShellOps> shell;
};

TEST(Tray, IconCarriesItsIdentifierAndTip) {
    TrayWindow w;
    EXPECT_TRUE(w.tray.isShown());
    EXPECT_EQ(w.tray.shownId, ShellOps::kTrayIconId);
    EXPECT_EQ(w.tray.shownTip, QStringLiteral("Zorvi"));
    TrayWindow absent(false);
    EXPECT_FALSE(absent.tray.isShown());

    // The window's set-up asks for the icon.
    TestWindow t;
    FakeTray tray;
    ShellOps shell(t.w(), tray, {});
    EXPECT_FALSE(tray.isShown());
    emit t.w().trayIconRequested();
    EXPECT_TRUE(tray.isShown());
}

TEST(Tray, OtherIdentifiersAreIgnored) {
    TrayWindow w;
    w.t.w().hide();
    w.tray.Notify(ShellOps::kTrayIconId + 1, ITrayIcon::Event::LeftDoubleClick);
    w.tray.Notify(0, ITrayIcon::Event::RightButtonDown);
    EXPECT_FALSE(w.t.w().isVisible());
    EXPECT_TRUE(w.tray.menus.isEmpty());
    // Other mouse messages of our own icon do nothing either.
    w.tray.Notify(ShellOps::kTrayIconId, ITrayIcon::Event::Other);
    EXPECT_FALSE(w.t.w().isVisible());
    EXPECT_TRUE(w.tray.menus.isEmpty());
    // A double click restores the window.
    w.tray.Notify(ShellOps::kTrayIconId, ITrayIcon::Event::LeftDoubleClick);
    EXPECT_TRUE(w.t.w().isVisible());
    EXPECT_FALSE(w.t.w().isMinimized());
}

TEST(Tray, RightClickMenuRestoresAndCloses) {
    TrayWindow w;
    w.t.w().hide();
    w.tray.choices = {0};
    w.tray.Notify(ShellOps::kTrayIconId, ITrayIcon::Event::RightButtonDown);
    ASSERT_EQ(w.tray.menus.size(), 1);
    EXPECT_EQ(w.tray.menus[0],
              (QStringList{QStringLiteral("Restore"), QString(), QStringLiteral("Close")}));
    EXPECT_TRUE(w.t.w().isVisible());
    // Nothing chosen: nothing happens.
    w.tray.Notify(ShellOps::kTrayIconId, ITrayIcon::Event::RightButtonDown);
    EXPECT_TRUE(w.t.box.asked.isEmpty());
}

TEST(Tray, TrayCloseAsksTwiceAndEndsOnlyWhenTheSequenceEnds) {
    TrayWindow w;
    QSignalSpy finished(&w.t.w(), &QDialog::finished);
    w.t.w().hide();
    // The second question (the close sequence's own) answered No: the window stays.
    w.t.box.answers = {true, false};
    w.tray.choices = {2};
    w.tray.Notify(ShellOps::kTrayIconId, ITrayIcon::Event::RightButtonDown);
    EXPECT_EQ(w.t.box.asked,
              (QStringList{shell_texts::AreYouSureExit(), shell_texts::AreYouSureExit()}));
    EXPECT_TRUE(w.t.w().isVisible()) << "the tray's Close restores the window first";
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(w.tray.isShown());

    // First question No: the close sequence is not even asked.
    w.t.box.asked.clear();
    w.t.box.answers = {false};
    w.shell->OnTrayClose();
    EXPECT_EQ(w.t.box.asked.size(), 1);
    EXPECT_EQ(finished.count(), 0);

    // Yes, Yes (and No to saving): the window ends.
    w.t.box.asked.clear();
    w.t.box.answers = {true, true, false};
    w.shell->OnTrayClose();
    EXPECT_EQ(w.t.box.asked.mid(0, 2),
              (QStringList{shell_texts::AreYouSureExit(), shell_texts::AreYouSureExit()}));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(w.tray.isShown());
}

TEST(Tray, SystemMinimiseHidesOnlyWhenTheIconCanBringItBack) {
    TrayWindow w;
    EXPECT_TRUE(w.shell->OnSystemCommand(ShellOps::kMinimizeCommand));
    EXPECT_FALSE(w.t.w().isVisible());
    EXPECT_FALSE(w.t.w().isMinimized()) << "hidden, not minimised";
    w.tray.Notify(ShellOps::kTrayIconId, ITrayIcon::Event::LeftDoubleClick);
    EXPECT_TRUE(w.t.w().isVisible());

    // No notification area: minimised, never hidden.
    TrayWindow noArea(false);
    EXPECT_TRUE(noArea.shell->OnSystemCommand(ShellOps::kMinimizeCommand));
    EXPECT_TRUE(noArea.t.w().isVisible());
    EXPECT_TRUE(noArea.t.w().isMinimized());
}

TEST(Tray, MinimiseFromCodeStaysAMinimise) {
    // The skin's minimise button minimises from code: that is not the system command.
    TrayWindow w;
    w.t.w().showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.t.w().isVisible());
    EXPECT_TRUE(w.t.w().isMinimized());
}

TEST(Tray, AboutCommandIgnoresItsLowBits) {
    TrayWindow w;
    EXPECT_TRUE(w.shell->OnSystemCommand(ShellOps::kAboutCommand));
    EXPECT_TRUE(w.shell->OnSystemCommand(ShellOps::kAboutCommand | 0x7));
    EXPECT_EQ(w.abouts, 2);
    EXPECT_FALSE(w.shell->OnSystemCommand(32)) << "other commands get the default processing";
    EXPECT_EQ(w.abouts, 2);
    EXPECT_EQ(ShellOps::SystemMenuItems(),
              (QStringList{QStringLiteral("Minimize"), QStringLiteral("&About Kestrivan...")}));
    EXPECT_EQ(ShellOps::SystemMenuCommand(0), ShellOps::kMinimizeCommand);
    EXPECT_EQ(ShellOps::SystemMenuCommand(1), ShellOps::kAboutCommand);
}

TEST(Tray, QtActivationReasonsMapToTheShellsEvents) {
    EXPECT_EQ(TrayIcon::EventFor(QSystemTrayIcon::DoubleClick), ITrayIcon::Event::LeftDoubleClick);
    EXPECT_EQ(TrayIcon::EventFor(QSystemTrayIcon::Context), ITrayIcon::Event::RightButtonDown);
    EXPECT_EQ(TrayIcon::EventFor(QSystemTrayIcon::Trigger), ITrayIcon::Event::Other);
    EXPECT_EQ(TrayIcon::EventFor(QSystemTrayIcon::MiddleClick), ITrayIcon::Event::Other);
}

}  // namespace

namespace {

TEST(Tray, HidingToTheIconDoesNotEndTheWindowsRun) {
    TrayWindow w;
    bool returned = false;
    // While the window runs: hide it to the icon, bring it back, then close it.
    QTimer::singleShot(0, [&] {
        w.shell->OnSystemCommand(ShellOps::kMinimizeCommand);
        QTimer::singleShot(0, [&] {
            EXPECT_FALSE(returned) << "hiding ended the window's run";
            EXPECT_FALSE(w.t.w().isVisible());
            w.tray.Notify(ShellOps::kTrayIconId, ITrayIcon::Event::LeftDoubleClick);
            w.t.box.answers = {true, false};
            w.t.w().close();
        });
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &w.t.w(), [&] { w.t.w().done(99); });
    watchdog.start(10000);
    const int result = RunMainWindow(w.t.w());
    returned = true;
    EXPECT_NE(result, 99) << "the window's run did not end through the close sequence";
    EXPECT_FALSE(w.tray.isShown());
}

}  // namespace
