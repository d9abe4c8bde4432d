#include "shell/skin_bridge.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "app/blocking_wait.h"
#include "app/settings_store.h"
#include "chat/kestrivan_dlg.h"
#include "support/fakes.h"

namespace {

QString S(const char* s) { return QString::fromLatin1(s); }

// Skin commands, sounds, message boxes and targets all write to one log, so that the order
// of what a press does can be read off.
struct Log {
    QStringList lines;
};

class LoggingSkin : public ISkin {
public:
    explicit LoggingSkin(Log& log) : log_(log) {}
    void RunSkinCommand(const QString& c) override { log_.lines << QStringLiteral("skin ") + c; }
    void SetSkinElementText(const QString&, const QString&) override {}

private:
    Log& log_;
};

class LoggingSounds : public ISoundPlayer {
public:
    explicit LoggingSounds(Log& log) : log_(log) {}
    void Play(ProgramSound s, bool wait) override {
        log_.lines << QStringLiteral("sound %1%2")
                          .arg(int(s))
                          .arg(wait ? QStringLiteral(" wait") : QString());
    }

private:
    Log& log_;
};

class LoggingBox : public IMessageBox {
public:
    explicit LoggingBox(Log& log) : log_(log) {}
    void Show(const QString& text) override { log_.lines << QStringLiteral("box ") + text; }
    bool AskYesNo(const QString& text) override {
        log_.lines << QStringLiteral("ask ") + text;
        return true;
    }

private:
    Log& log_;
};

const QString kWing = QStringLiteral("sound 178");

class SkinBridgeTest : public ::testing::Test {
protected:
    SkinBridgeTest() : skin(log), sounds(log), box(log) {
        settings =
            std::make_unique<SettingsStore>(dir.filePath(QStringLiteral("user/Zorvi.conf")),
                                            dir.filePath(QStringLiteral("machine/Zorvi.conf")));
        WindowServices services;
        services.messageBox = &box;
        services.sounds = &sounds;
        services.desktop = &desktop;
        services.clock = &clock;
        services.settings = settings.get();
        services.blockingWait = &wait;
        dlg = std::make_unique<CKestrivanDlg>(services);
        WindowParts parts;
        parts.skin = &skin;
        parts.portal = &portal;
        parts.effectPane = &effectPane;
        parts.media = &media;
        parts.userList = &users;
        dlg->AttachParts(parts);
        BindAllTargets();
        MakeBridge();
    }

    // Every target writes its own name to the log.
    void BindAllTargets() {
        const std::pair<const char*, std::function<void()>*> all[] = {
            {"closeEffectPane", &targets.closeEffectPane},
            {"openServiceHome", &targets.openServiceHome},
            {"openSiblingHome", &targets.openSiblingHome},
            {"backEffect", &targets.backEffect},
            {"sendEffectToAll", &targets.sendEffectToAll},
            {"showEffectCatalogue", &targets.showEffectCatalogue},
            {"assignOwner", &targets.assignOwner},
            {"options", &targets.options},
            {"find", &targets.find},
            {"help", &targets.help},
            {"newRoom", &targets.newRoom},
            {"changeRoom", &targets.changeRoom},
            {"refreshPortal", &targets.refreshPortal},
            {"send", &targets.send},
            {"privateMessage", &targets.privateMessage},
            {"play", &targets.play},
            {"pause", &targets.pause},
            {"stop", &targets.stop},
            {"refreshChannelList", &targets.refreshChannelList}};
        for (const auto& [name, fn] : all) {
            const QString line = QStringLiteral("target ") + S(name);
            *fn = [this, line] { log.lines << line; };
        }
    }

    void MakeBridge(std::chrono::milliseconds period = SkinBridge::kChannelRefreshPeriod) {
        bridge.reset();
        bridge = std::make_unique<SkinBridge>(*dlg, targets, &wait, period);
    }

    QStringList Press(const char* name) {
        log.lines.clear();
        bridge->OnSkinButton(S(name));
        return log.lines;
    }

    QTemporaryDir dir;
    Log log;
    LoggingSkin skin;
    LoggingSounds sounds;
    LoggingBox box;
    FakeDesktop desktop;
    FakeClock clock;
    FakeWebPane portal;
    FakeWebPane effectPane;
    FakeMediaPlayer media;
    FakeUserList users;
    BlockingWait wait;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<CKestrivanDlg> dlg;
    SkinTargets targets;
    std::unique_ptr<SkinBridge> bridge;
};

TEST_F(SkinBridgeTest, RowsThatStartAnOperationCallExactlyTheirTarget) {
    users.AddColoredName(QStringLiteral("ana"), 0);
    users.Select(0);
    const std::pair<const char*, const char*> rows[] = {{"closeEffectButton", "closeEffectPane"},
                                                        {"zorviButton", "openServiceHome"},
                                                        {"pelbrookButton", "openSiblingHome"},
                                                        {"backEffectButton", "backEffect"},
                                                        {"sendEffectButton", "sendEffectToAll"},
                                                        {"optionButton", "options"},
                                                        {"findButton", "find"},
                                                        {"helpButton", "help"},
                                                        {"newButton", "newRoom"},
                                                        {"changeButton", "changeRoom"},
                                                        {"refreshButton", "refreshPortal"},
                                                        {"sendButton", "send"},
                                                        {"privateButton", "privateMessage"},
                                                        {"playMedia", "play"},
                                                        {"pauseMedia", "pause"},
                                                        {"stopMedia", "stop"}};
    for (const auto& [name, target] : rows)
        EXPECT_EQ(Press(name), QStringList{QStringLiteral("target ") + S(target)}) << name;
}

TEST_F(SkinBridgeTest, NamesAreComparedExactly) {
    const char* const near[] = {"CloseEffectButton",
                                "effectButton",
                                "leftwingbutton",
                                "RIGHTWINGBUTTON",
                                "minimizeButton",
                                "mediaButton",
                                "SendButton",
                                "sendButton ",
                                " sendButton",
                                "closemediabutton",
                                "PlayMedia",
                                "assignbutton",
                                "",
                                "unknownButton",
                                "name"};
    for (const char* name : near) {
        EXPECT_TRUE(Press(name).isEmpty()) << '"' << name << '"';
        EXPECT_FALSE(dlg->isMinimized());
    }
    EXPECT_FALSE(dlg->m_buttonWingOpen);
    EXPECT_FALSE(dlg->m_channelWingOpen);
    EXPECT_EQ(bridge->ChannelRefreshTimer(), nullptr);
}

TEST_F(SkinBridgeTest, EffectButtonSoundsBeforeThePaneWingTogglesAfterTheirCommands) {
    EXPECT_EQ(Press("EffectButton"),
              (QStringList{kWing, QStringLiteral("target showEffectCatalogue")}));
    EXPECT_EQ(Press("LeftWingButton"),
              (QStringList{QStringLiteral("skin goto buttonWing showButtonWing"), kWing}));
    EXPECT_TRUE(dlg->m_buttonWingOpen);
    EXPECT_EQ(Press("LeftWingButton"),
              (QStringList{QStringLiteral("skin goto buttonWing hideButtonWing"), kWing}));
    EXPECT_FALSE(dlg->m_buttonWingOpen);
    EXPECT_EQ(Press("MediaButton"), QStringList{kWing});
    EXPECT_EQ(Press("closeMediaButton"), QStringList{kWing});

    dlg->SetSoundOn(false);
    EXPECT_EQ(Press("EffectButton"), QStringList{QStringLiteral("target showEffectCatalogue")});
    EXPECT_TRUE(Press("MediaButton").isEmpty());
    EXPECT_TRUE(Press("closeMediaButton").isEmpty());
    EXPECT_EQ(Press("LeftWingButton"),
              QStringList{QStringLiteral("skin goto buttonWing showButtonWing")});
}

TEST_F(SkinBridgeTest, ChannelWingOpensWithItsTimerAndTwoPressesReturnToTheStart) {
    ASSERT_NE(dlg->m_channelList, nullptr);
    dlg->m_channelList->hide();
    EXPECT_EQ(Press("RightWingButton"),
              (QStringList{QStringLiteral("skin goto channelWing showChannelWing"),
                           QStringLiteral("skin goto changeButton EnableButton"),
                           QStringLiteral("skin goto newButton EnableButton"), kWing,
                           QStringLiteral("target refreshChannelList")}));
    EXPECT_TRUE(dlg->m_channelWingOpen);
    EXPECT_FALSE(dlg->m_channelList->isHidden());
    const QTimer* timer = bridge->ChannelRefreshTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->isActive());
    EXPECT_EQ(timer->interval(), 60000);
    EXPECT_FALSE(timer->isSingleShot());

    EXPECT_EQ(Press("RightWingButton"),
              (QStringList{QStringLiteral("skin goto channelWing hideChannelWing"),
                           QStringLiteral("skin goto changeButton DisableButton"),
                           QStringLiteral("skin goto newButton DisableButton"), kWing}));
    EXPECT_FALSE(dlg->m_channelWingOpen);
    EXPECT_TRUE(dlg->m_channelList->isHidden());
    EXPECT_EQ(bridge->ChannelRefreshTimer(), nullptr);
}

TEST_F(SkinBridgeTest, OpenChannelWingRefreshesEveryPeriodUntilClosed) {
    int refreshes = 0;
    targets.refreshChannelList = [&] { ++refreshes; };
    MakeBridge(std::chrono::milliseconds(15));
    bridge->OnSkinButton(QStringLiteral("RightWingButton"));
    EXPECT_EQ(refreshes, 1);  // once at opening
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshes >= 4; }, 5000));
    bridge->OnSkinButton(QStringLiteral("RightWingButton"));
    const int atClose = refreshes;
    EXPECT_EQ(bridge->ChannelRefreshTimer(), nullptr);
    // Reopening starts a fresh timer with its own refresh at once.
    bridge->OnSkinButton(QStringLiteral("RightWingButton"));
    EXPECT_EQ(refreshes, atClose + 1);
    ASSERT_NE(bridge->ChannelRefreshTimer(), nullptr);
}

TEST_F(SkinBridgeTest, TimerSkipsItsTurnWhileAnotherExchangeWaits) {
    int refreshes = 0;
    int ticks = 0;
    targets.refreshChannelList = [&] { ++refreshes; };
    MakeBridge(std::chrono::milliseconds(10));
    bridge->OnSkinButton(QStringLiteral("RightWingButton"));
    ASSERT_EQ(refreshes, 1);
    QObject::connect(bridge->ChannelRefreshTimer(), &QTimer::timeout, [&] { ++ticks; });

    // Another operation's exchange blocks on its socket; the window keeps processing its
    // events through the wait hook, and the timer keeps ticking meanwhile.
    const auto hook = wait.Hook();
    QElapsedTimer clock;
    clock.start();
    while (ticks < 5 && clock.elapsed() < 5000) hook();
    EXPECT_GE(ticks, 5);
    EXPECT_EQ(refreshes, 1);

    // Once the exchange is over the refreshes come again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return refreshes >= 2; }, 5000));
}

TEST_F(SkinBridgeTest, AssignShowsItsBoxFirstAndPrivateNeedsASelection) {
    EXPECT_EQ(Press("assignButton"),
              (QStringList{QStringLiteral("box assign"), QStringLiteral("target assignOwner")}));
    ASSERT_EQ(users.SelectedIndex(), -1);
    EXPECT_EQ(
        Press("privateButton"),
        QStringList{QStringLiteral("box Please select one person to send him a private message.")});
    users.AddColoredName(QStringLiteral("bo"), 0);
    users.Select(0);
    EXPECT_EQ(Press("privateButton"), QStringList{QStringLiteral("target privateMessage")});
}

TEST_F(SkinBridgeTest, MinimiseButtonsMinimiseWithoutHiding) {
    for (const char* name : {"leftButton", "MinimizeButton"}) {
        dlg->showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        EXPECT_TRUE(Press(name).isEmpty()) << name;  // no sound, no command
        EXPECT_TRUE(dlg->isMinimized()) << name;
        EXPECT_FALSE(dlg->isHidden()) << name;
    }
}

TEST_F(SkinBridgeTest, EmptyTargetsDoNothing) {
    targets = SkinTargets{};
    MakeBridge();
    const char* const names[] = {"closeEffectButton", "zorviButton",      "pelbrookButton",
                                 "backEffectButton",  "sendEffectButton", "EffectButton",
                                 "optionButton",      "findButton",       "helpButton",
                                 "newButton",         "changeButton",     "refreshButton",
                                 "sendButton",        "playMedia",        "pauseMedia",
                                 "stopMedia",         "assignButton",     "RightWingButton"};
    for (const char* name : names) bridge->OnSkinButton(S(name));
    // Only the bridge's own parts ran: sounds, the assign box, the wing commands.
    EXPECT_TRUE(log.lines.filter(QStringLiteral("target ")).isEmpty());
    EXPECT_TRUE(log.lines.contains(QStringLiteral("box assign")));
    EXPECT_TRUE(dlg->m_channelWingOpen);
    EXPECT_NE(bridge->ChannelRefreshTimer(), nullptr);
}

}  // namespace
