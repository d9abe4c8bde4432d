// The whole program as main() builds it, logged in against a real zorvid, resized the way a
// window manager does it, and started again to find its window where the user left it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>

#include "app/settings_store.h"
#include "chat/kestrivan_dlg.h"
#include "e2e/zorvid_process.h"
#include "shell/kestrivan_assembly.h"
#include "shell/skin_bridge.h"
#include "shell/skin_widget.h"

namespace {

// One user's home: the settings survive from one start of the program to the next.
class Home {
public:
    Home() {
        QDir().mkpath(QFileInfo(userFile()).path());
        settings_ = std::make_unique<SettingsStore>(userFile(), dir_.filePath("machine.conf"));
    }
    QString userFile() const { return dir_.filePath(QStringLiteral("config/Marquent/Zorvi.conf")); }
    SettingsStore& settings() { return *settings_; }

    // A start of the program with a saved login, its window shown.
    std::unique_ptr<KestrivanAssembly> Start(const ZorvidProcess& zorvid, const QString& user) {
        settings_->CreateUserKey();
        settings_->WriteString(QStringLiteral("username"), user);
        settings_->WriteString(QStringLiteral("password"), QStringLiteral("pw"));
        settings_->WriteNumber(QStringLiteral("psave"), 1);
        settings_->WriteNumber(QStringLiteral("sound"), 0);
        Endpoints e;
        e.loginHost = e.chatHost = QStringLiteral("127.0.0.1");
        e.loginPort = zorvid.loginPort();
        e.servicePort = zorvid.servicePort();
        e.webUrl = zorvid.webUrl();
        auto program = std::make_unique<KestrivanAssembly>(*settings_, e);
        if (!program->LoginSequence()) return nullptr;
        program->ShowWindow();
        return program;
    }

private:
    QTemporaryDir dir_;
    std::unique_ptr<SettingsStore> settings_;
};

// Resizes the native window as a window manager's configure request does, and waits until
// the window has taken the new size.
bool ResizeLikeTheWindowManager(QWidget& w, const QSize& size) {
    w.windowHandle()->resize(size);
    return QTest::qWaitFor([&] { return w.size() == size; }, 10000);
}

TEST(WindowResizeE2E, TheConversationGrowsWithTheWindowAndTheRowsKeepTheirHeight) {
    ZorvidProcess zorvid;
    ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
    Home home;
    auto program = home.Start(zorvid, QStringLiteral("grower"));
    ASSERT_TRUE(program);
    CKestrivanDlg& w = program->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w, 10000));
    // It opens at the template's size, which is also the smallest it can be.
    EXPECT_EQ(w.size(), w.minimumSize());
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_NE(w.minimumSize(), w.maximumSize());

    // At the smallest size the channel list's column names are readable in full.
    program->bridge().OnSkinButton(QStringLiteral("RightWingButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.m_channelList->isVisible(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !program->skin().IsAnimating(); }, 5000));
    const QHeaderView* header = w.m_channelList->header();
    const QFontMetrics fm(header->font());
    for (int col = 0; col < 3; ++col) {
        const QString label = w.m_channelList->headerItem()->text(col);
        EXPECT_GE(header->sectionSize(col), fm.horizontalAdvance(label) + 4) << label.toStdString();
    }
    EXPECT_LE(header->length(), w.m_channelList->viewport()->width());
    program->bridge().OnSkinButton(QStringLiteral("RightWingButton"));

    const QSize chat = w.m_chatDisplay->size();
    const int inputHeight = w.m_chatInput->height();
    const int titleHeight = w.m_roomTitleEdit->height();
    const int inputToBottom = w.height() - w.m_chatInput->mapTo(&w, QPoint(0, 0)).y();

    ASSERT_TRUE(ResizeLikeTheWindowManager(w, w.size() + QSize(300, 200)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.m_chatDisplay->width() > chat.width(); }, 5000));
    EXPECT_GE(w.m_chatDisplay->width(), chat.width() + 200);
    EXPECT_GE(w.m_chatDisplay->height(), chat.height() + 150);
    EXPECT_EQ(w.m_chatInput->height(), inputHeight);
    EXPECT_EQ(w.m_roomTitleEdit->height(), titleHeight);
    EXPECT_EQ(w.height() - w.m_chatInput->mapTo(&w, QPoint(0, 0)).y(), inputToBottom);

    // The text area itself grew, not only its frame.
    EXPECT_GT(w.m_chatDisplay->viewport()->width(), chat.width());

    // And back: the window manager may not make it smaller than the template.
    ASSERT_TRUE(ResizeLikeTheWindowManager(w, w.minimumSize()));
    EXPECT_EQ(w.m_chatDisplay->size(), chat);
}

TEST(WindowResizeE2E, TheSameAtScaleFactorTwo) {
    // The scale factor is read when the application starts: a child run of this program.
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=WindowResizeE2E.TheConversationGrows*")});
    ASSERT_TRUE(child.waitForFinished(180000));
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << out.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("[  PASSED  ] 1 test"))) << out.toStdString();
}

TEST(WindowResizeE2E, TheNextStartOpensWhereTheWindowWasOrCentredWhenThatIsOffScreen) {
    ZorvidProcess zorvid;
    ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
    Home home;
    QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    const QRect screen = primary->availableGeometry();
    QRect left;
    {
        auto program = home.Start(zorvid, QStringLiteral("mover1"));
        ASSERT_TRUE(program);
        CKestrivanDlg& w = program->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w, 10000));
        ASSERT_TRUE(ResizeLikeTheWindowManager(w, w.size() + QSize(120, 90)));
        w.windowHandle()->setPosition(screen.topLeft() + QPoint(30, 20));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return w.pos() == screen.topLeft() + QPoint(30, 20); }, 10000));
        left = w.geometry();
        w.hide();  // as closing does
    }
    ASSERT_TRUE(home.settings().ReadWindowPlacement());
    {
        auto program = home.Start(zorvid, QStringLiteral("mover2"));
        ASSERT_TRUE(program);
        CKestrivanDlg& w = program->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w, 10000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.geometry() == left; }, 5000))
            << w.geometry().x() << "," << w.geometry().y() << " " << w.width() << "x" << w.height();
        EXPECT_GT(w.m_chatDisplay->width(), 0);
        w.hide();
    }
    // The screen it was on is gone.
    ASSERT_TRUE(home.settings().WriteWindowPlacement(
        {QRect(screen.right() + 4000, screen.bottom() + 3000, left.width(), left.height()),
         false}));
    {
        auto program = home.Start(zorvid, QStringLiteral("mover3"));
        ASSERT_TRUE(program);
        CKestrivanDlg& w = program->window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w, 10000));
        EXPECT_TRUE(screen.contains(w.geometry())) << w.geometry().x() << "," << w.geometry().y();
        EXPECT_LE((w.geometry().center() - screen.center()).manhattanLength(), 2);
        EXPECT_EQ(w.size(), left.size());
    }
}

}  // namespace
