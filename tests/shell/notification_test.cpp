// Desktop notifications: which records raise one, the unread count in the tray's tool tip,
// and the freedesktop notification service over a private session bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QTest>

#include "fake_notifier.h"
#include "fake_tray.h"
#include "shell/attention_tracker.h"
#include "shell/desktop_notifier.h"
#include "shell/notification_ops.h"
#include "shell/shell_ops.h"
#include "support/test_window.h"

namespace {

CMsg Record(int code2, const std::string& text, std::vector<std::string> list = {}) {
    CMsg m(14, code2);
    m.text = text;
    m.list = std::move(list);
    return m;
}

TEST(Notifications, PrivateMessagesBeepsAndMentionsRaiseOneOrdinaryLinesNone) {
    FakeNotifier notifier;
    AttentionTracker t(notifier);
    const QString me = QStringLiteral("Kim");
    t.OnRecord(Record(11, {}, {"bob: hello all", "carol: kimono sale", "kim: talking"}), me, true);
    EXPECT_TRUE(notifier.shown.isEmpty())
        << "a name inside a word or the user's own line is no mention";
    t.OnRecord(Record(11, {}, {"bob: hi", "carol: what do you think, KIM?", "dan: kim!"}), me,
               true);
    t.OnRecord(Record(10, "<b>psst</b>", {"bob"}), me, true);
    t.OnRecord(Record(10, "", {"bob"}), me, true);  // shows no line, so no notice either
    t.OnRecord(Record(35, "Kim", {"dan Beep you!"}), me, true);
    t.OnRecord(Record(32, "eve"), me, true);  // someone joined: not a line
    EXPECT_EQ(notifier.shown,
              QStringList({QStringLiteral("carol mentioned you | what do you think, KIM?"),
                           QStringLiteral("Private message from bob | <b>psst</b>"),
                           QStringLiteral("Beep from dan | ")}));
    EXPECT_EQ(t.unread(), 8) << "six room lines, one private message, one beep";
    EXPECT_EQ(t.TrayTip(), QStringLiteral("Zorvi: 8 unread"));

    t.Seen();
    EXPECT_EQ(t.unread(), 0);
    EXPECT_EQ(t.TrayTip(), QStringLiteral("Zorvi"));
    // While the user looks at the window nothing is raised or counted.
    t.OnRecord(Record(10, "psst", {"bob"}), me, false);
    t.OnRecord(Record(11, {}, {"bob: Kim?"}), me, false);
    EXPECT_EQ(notifier.shown.size(), 3);
    EXPECT_EQ(t.unread(), 0);

    EXPECT_FALSE(AttentionTracker::NamesUser(QStringLiteral("bob: hi"), QString()));
    EXPECT_TRUE(AttentionTracker::NamesUser(QStringLiteral("bob: a.b+c?"), QStringLiteral("a.b+c")))
        << "a name with pattern characters is matched literally";
    EXPECT_FALSE(
        AttentionTracker::NamesUser(QStringLiteral("bob: axb+c"), QStringLiteral("a.b+c")));
}

TEST(Notifications, TheWindowCountsUnreadLinesInTheTrayTipAndComesBackOnActivation) {
    TestWindow t;
    t.w().SetIdentity(QStringLiteral("me"), QString());
    FakeTray tray;
    FakeNotifier notifier;
    ShellOps shell(t.w(), tray, {});
    shell.AddTrayIcon();
    NotificationOps ops(t.w(), notifier, tray);
    ASSERT_TRUE(ops.WindowAway()) << "a window never shown is away";

    CMsg lines = Record(11, {}, {"bob: hi me", "bob: there"});
    t.w().DispatchRecord(lines);
    CMsg pm = Record(10, "secret", {"carol"});
    t.w().DispatchRecord(pm);
    EXPECT_EQ(notifier.shown, QStringList({QStringLiteral("bob mentioned you | hi me"),
                                           QStringLiteral("Private message from carol | secret")}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tray.shownTip == QStringLiteral("Zorvi: 3 unread"); }, 5000))
        << tray.shownTip.toStdString();

    ASSERT_TRUE(notifier.activate);
    notifier.activate();
    EXPECT_TRUE(t.w().isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&t.w(), 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.shownTip == QStringLiteral("Zorvi"); }, 5000))
        << "looking at the window again clears the count";
    EXPECT_EQ(ops.tracker().unread(), 0);
}

// A private session bus with a stand-in notification service on it.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList capabilities;
    QList<QVariantList> calls;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        calls << QVariantList{app,
                              replaces,
                              icon,
                              summary,
                              body,
                              actions,
                              hints.contains(QStringLiteral("desktop-entry")),
                              timeout};
        return uint(40 + calls.size());
    }
};

struct PrivateBus {
    PrivateBus() {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"),
                      QStringLiteral("--print-address")});
        if (!daemon.waitForStarted(5000)) return;
        while (!daemon.canReadLine() && daemon.waitForReadyRead(5000)) {
        }
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names) QDBusConnection::disconnectFromBus(name);
        daemon.kill();
        daemon.waitForFinished(5000);
    }
    QDBusConnection Connect(const QString& name) {
        names << name;
        return QDBusConnection::connectToBus(address, name);
    }
    QProcess daemon;
    QString address;
    QStringList names;
};

TEST(Notifications, DesktopServiceOnTheSessionBusShowsAndActivates) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    QDBusConnection serviceSide = bus.Connect(QStringLiteral("notification service"));
    ASSERT_TRUE(serviceSide.isConnected());
    FakeNotificationService service;
    service.capabilities = {QStringLiteral("actions"), QStringLiteral("body-markup")};
    ASSERT_TRUE(serviceSide.registerService(QStringLiteral("org.freedesktop.Notifications")));
    ASSERT_TRUE(serviceSide.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                           &service, QDBusConnection::ExportAllSlots));

    DesktopNotifier notifier(bus.Connect(QStringLiteral("client")));
    int activations = 0;
    notifier.SetActivationHandler([&] { ++activations; });
    notifier.Notify(QStringLiteral("Private message from <b>bob</b>"),
                    QStringLiteral("<a href=\"x\">click</a> & more"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls.size() == 1; }, 5000));
    const QVariantList& call = service.calls.front();
    EXPECT_EQ(call.at(3).toString(), QStringLiteral("Private message from <b>bob</b>"))
        << "the summary is plain text by definition";
    EXPECT_EQ(call.at(4).toString(),
              QStringLiteral("&lt;a href=&quot;x&quot;&gt;click&lt;/a&gt; &amp; more"))
        << "a service that reads markup in the body gets it escaped";
    EXPECT_EQ(call.at(5).toStringList().value(0), QStringLiteral("default"));
    EXPECT_TRUE(call.at(6).toBool());

    // Activating someone else's notification does nothing; ours shows the window.
    auto signal = [&](uint id, const QString& key) {
        QDBusMessage m = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("ActionInvoked"));
        m << id << key;
        serviceSide.send(m);
    };
    signal(7, QStringLiteral("default"));
    signal(41, QStringLiteral("default"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return activations > 0; }, 5000));
    EXPECT_EQ(activations, 1);

    // Without body markup the body goes as it is.
    service.capabilities = {QStringLiteral("actions")};
    DesktopNotifier plain(bus.Connect(QStringLiteral("plain client")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return plain.capabilitiesKnown(); }, 5000));
    plain.Notify(QStringLiteral("s"), QStringLiteral("a < b"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.calls.size() == 2; }, 5000));
    EXPECT_EQ(service.calls.last().at(4).toString(), QStringLiteral("a < b"));
    EXPECT_TRUE(plain.reachable());
}

TEST(Notifications, NoBusOrNoServiceIsNotAnError) {
    DesktopNotifier noBus(QDBusConnection(QStringLiteral("no such connection")));
    EXPECT_FALSE(noBus.reachable());
    noBus.Notify(QStringLiteral("s"), QStringLiteral("b"));  // must simply do nothing

    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    DesktopNotifier noService(bus.Connect(QStringLiteral("lonely client")));
    EXPECT_TRUE(noService.reachable());
    noService.Notify(QStringLiteral("s"), QStringLiteral("b"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !noService.reachable(); }, 5000));
}

}  // namespace

#include "notification_test.moc"
