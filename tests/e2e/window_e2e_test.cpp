// The whole program in one process, as main() builds it, logged in against a real zorvid:
// the skin's elements are found and pressed through the accessibility layer, as a screen
// reader or a GUI automation tool would.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMediaPlayer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/settings_store.h"
#include "chat/kestrivan_dlg.h"
#include "e2e/e2e_client.h"
#include "effects/media_player2.h"
#include "effects/web_engine_pane.h"
#include "shell/kestrivan_assembly.h"

namespace {

QAccessibleInterface* FindAccessible(QAccessibleInterface* node, const QString& name,
                                     int depth = 0) {
    if (!node || depth > 30) return nullptr;
    if (node->text(QAccessible::Name) == name) return node;
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* found = FindAccessible(node->child(i), name, depth + 1))
            return found;
    }
    return nullptr;
}

// Presses the element named `name` through its accessible press action (which, like a
// click, takes effect on a later turn of the event loop).
bool Press(QWidget* window, const QString& name) {
    QAccessibleInterface* element =
        FindAccessible(QAccessible::queryAccessibleInterface(window), name);
    if (!element || !element->actionInterface()) return false;
    element->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    return true;
}

QStringList ChannelNames(const CKestrivanDlg& w) {
    QStringList names;
    for (int i = 0; i < w.m_channelList->topLevelItemCount(); ++i)
        names << w.m_channelList->topLevelItem(i)->text(0);
    return names;
}

// A person's saved login, so that the program logs in without showing its dialog.
class ProgramUnderTest {
public:
    explicit ProgramUnderTest(const ZorvidProcess& zorvid) {
        const QString user = home_.filePath(QStringLiteral("config/Marquent/Zorvi.conf"));
        QDir().mkpath(QFileInfo(user).path());
        QFile f(user);
        f.open(QIODevice::WriteOnly);
        f.write("[1.1b]\nusername=gui\npassword=pw\npsave=1\nsound=0\n");
        f.close();
        settings_ =
            std::make_unique<SettingsStore>(user, home_.filePath(QStringLiteral("machine.conf")));
        Endpoints e;
        e.loginHost = e.chatHost = QStringLiteral("127.0.0.1");
        e.loginPort = zorvid.loginPort();
        e.servicePort = zorvid.servicePort();
        e.webUrl = zorvid.webUrl();
        assembly_ = std::make_unique<KestrivanAssembly>(*settings_, e);
    }
    KestrivanAssembly& operator*() { return *assembly_; }
    KestrivanAssembly* operator->() { return assembly_.get(); }

private:
    QTemporaryDir home_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<KestrivanAssembly> assembly_;
};

TEST(WindowE2E, MessageBoxesBelongToTheMainWindow) {
    QTemporaryDir home;
    SettingsStore settings(home.filePath(QStringLiteral("user.conf")),
                           home.filePath(QStringLiteral("machine.conf")));
    KestrivanAssembly program(settings, Endpoints{});
    CKestrivanDlg& w = program.window();

    // Answers the box the window is about to show, noting whose it is.
    QPointer<QWidget> parent;
    bool answered = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        parent = box->parentWidget();
        answered = true;
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    QTimer::singleShot(10000, &w, [] {
        // Never left open: a box that was not found is closed by its deadline.
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    w.ShowMessage(QStringLiteral("Please select one person"));
    poll.stop();
    ASSERT_TRUE(answered) << "no message box was shown";
    EXPECT_EQ(parent.data(), &w);
}

TEST(WindowE2E, LogsInOpensTheChannelWingAndWatchesTheLiveShow) {
    ZorvidProcess zorvid;
    ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
    ProgramUnderTest program(zorvid);
    ASSERT_TRUE(program->LoginSequence());
    program->ShowWindow();
    CKestrivanDlg& w = program->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w, 10000));
    EXPECT_EQ(w.nickname(), QStringLiteral("gui"));

    // Opening the channel wing fetches the list at once: the demo's rooms are there.
    ASSERT_TRUE(Press(&w, QStringLiteral("RightWingButton")));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ChannelNames(w).contains(QStringLiteral("Lobby")); }, 5000));
    EXPECT_TRUE(ChannelNames(w).contains(QStringLiteral("Live Show")));
    EXPECT_TRUE(w.m_channelList->isVisible());

    // Entering the live-show room asks for the show, which plays the service's clip.
    const int row = int(ChannelNames(w).indexOf(QStringLiteral("Live Show")));
    w.m_channelList->setCurrentItem(w.m_channelList->topLevelItem(row));
    ASSERT_TRUE(Press(&w, QStringLiteral("changeButton")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.roomName() == QStringLiteral("Live Show"); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.mediaAddress().isEmpty(); }, 5000));
    EXPECT_TRUE(w.mediaAddress().startsWith(zorvid.webUrl()));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto s = program->media().MediaStatus();
            return s == QMediaPlayer::BufferedMedia || s == QMediaPlayer::BufferingMedia ||
                   program->media().PlaybackState() == QMediaPlayer::PlayingState;
        },
        20000));
    EXPECT_EQ(program->media().OpenStatus(), 0);

    // Closing the channel wing hides the list again.
    ASSERT_TRUE(Press(&w, QStringLiteral("RightWingButton")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.m_channelWingOpen; }, 5000));
}

TEST(WindowE2E, ReceivedImageEffectShowsTheEffectPage) {
    ZorvidProcess zorvid;
    ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
    E2EClient owner(zorvid, QStringLiteral("owner"));
    ASSERT_TRUE(owner.LogIn());
    owner.dialogs.roomNames.push_back(QStringLiteral("gallery"));
    owner.rooms.OnNewRoom();
    ASSERT_TRUE(owner.w().isOwner());

    ProgramUnderTest program(zorvid);
    ASSERT_TRUE(program->LoginSequence());
    program->ShowWindow();
    CKestrivanDlg& w = program->window();
    ASSERT_TRUE(Press(&w, QStringLiteral("RightWingButton")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ChannelNames(w).contains(QStringLiteral("gallery")); }, 5000));
    const int row = int(ChannelNames(w).indexOf(QStringLiteral("gallery")));
    w.m_channelList->setCurrentItem(w.m_channelList->topLevelItem(row));
    ASSERT_TRUE(Press(&w, QStringLiteral("changeButton")));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return owner.w().roomUsers().contains(QStringLiteral("gui")); }, 5000));

    owner.tw.effectPane.SetPage(zorvid.webUrl() + QStringLiteral("/effect/pic_2.htm"),
                                QStringLiteral("ChoosePic"));
    owner.effects.SendEffectToAll();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return program->effectPane().Title() == QStringLiteral("ChoosePic"); }, 60000))
        << program->effectPane().Title().toStdString();
    EXPECT_TRUE(program->effectPane().IsVisible());
}

}  // namespace
