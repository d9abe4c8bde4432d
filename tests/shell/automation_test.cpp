// The automation object: the single-use factory, the proxy's ties to the window, the
// service file, and the whole thing on a private session bus.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "shell/automation_factory.h"
#include "shell/automation_service_file.h"
#include "shell/kestrivan_dlg_auto_proxy.h"
#include "shell/start_automation.h"
#include "support/test_window.h"

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(Automation, FactoryServesOneCreationAndTiesProxyToWindow) {
    TestWindow t;
    AutomationFactory factory;
    factory.AttachWindow(&t.w());
    EXPECT_TRUE(factory.Create(QStringLiteral(":1.10")));
    ASSERT_NE(factory.proxy(), nullptr);
    EXPECT_EQ(t.w().m_pAutoProxy, factory.proxy());
    EXPECT_EQ(factory.proxy()->window(), &t.w());
    EXPECT_FALSE(factory.Create(QStringLiteral(":1.11")));
    EXPECT_EQ(factory.proxy()->client(), QStringLiteral(":1.10"));

    int released = 0;
    QObject::connect(&factory, &AutomationFactory::released, [&] { ++released; });
    factory.proxy()->Release();
    factory.proxy()->Release();  // a second release of the same object changes nothing
    ASSERT_TRUE(QTest::qWaitFor([&] { return released == 1; }, 5000)) << released;
    EXPECT_EQ(factory.proxy(), nullptr);
    EXPECT_EQ(t.w().m_pAutoProxy, nullptr);
    // Single use: even after the release no further object is made.
    EXPECT_FALSE(factory.Create(QStringLiteral(":1.12")));
}

TEST(Automation, CreationBeforeTheWindowAttachesWhenItArrives) {
    AutomationFactory factory;
    ASSERT_TRUE(factory.Create(QStringLiteral(":1.20")));
    EXPECT_EQ(factory.proxy()->window(), nullptr);
    TestWindow t;
    factory.AttachWindow(&t.w());
    EXPECT_EQ(t.w().m_pAutoProxy, factory.proxy());
    EXPECT_EQ(factory.proxy()->window(), &t.w());
}

TEST(Automation, WindowDestroyedFirstIsNotTouchedOnRelease) {
    AutomationFactory factory;
    int released = 0;
    QObject::connect(&factory, &AutomationFactory::released, [&] { ++released; });
    {
        TestWindow t;
        factory.AttachWindow(&t.w());
        ASSERT_TRUE(factory.Create(QStringLiteral(":1.30")));
    }
    ASSERT_NE(factory.proxy(), nullptr);
    EXPECT_EQ(factory.proxy()->window(), nullptr);
    factory.proxy()->Release();  // must not write into the destroyed window
    ASSERT_TRUE(QTest::qWaitFor([&] { return released == 1; }, 5000)) << released;
}

TEST(Automation, ServiceFileStartsTheProgramWithTheSwitchAndIsStable) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("data/dbus-1/services"));
    AutomationFactory factory;
    ASSERT_TRUE(StartAutomation(false, factory, QStringLiteral("/usr/bin/kestrivan"), folder));
    const QString file = folder + QStringLiteral("/Kestrivan.Application.service");
    const QByteArray first = ReadAll(file);
    EXPECT_EQ(
        first,
        QByteArray(
            "[D-BUS Service]\nName=Kestrivan.Application\nExec=/usr/bin/kestrivan -Automation\n"));
    ASSERT_TRUE(StartAutomation(false, factory, QStringLiteral("/usr/bin/kestrivan"), folder));
    EXPECT_EQ(ReadAll(file), first);
    EXPECT_FALSE(factory.served());

    // A moved program rewrites the file; a path with blanks is quoted for the bus.
    ASSERT_TRUE(AutomationServiceFile::Refresh(folder, QStringLiteral("/opt/my apps/kestrivan")));
    EXPECT_TRUE(ReadAll(file).contains("Exec='/opt/my apps/kestrivan' -Automation\n"));
    EXPECT_TRUE(AutomationServiceFile::Contents(QStringLiteral("/a/it's"))
                    .contains(QStringLiteral("Exec='/a/it'\\''s' -Automation")));
}

TEST(Automation, HeldProgramOnASessionBus) {
    const QString dbusRunSession =
        QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
    if (dbusRunSession.isEmpty()) GTEST_SKIP() << "dbus-run-session is not installed";
    QTemporaryDir data;
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start(dbusRunSession, {QStringLiteral("--"), QStringLiteral(KV_AUTOMATION_HELPER),
                                  QStringLiteral("--client")});
    ASSERT_TRUE(client.waitForStarted(10000));
    const bool finished = client.waitForFinished(120000);
    if (!finished) client.kill();
    const QString output = QString::fromLocal8Bit(client.readAll());
    ASSERT_TRUE(finished) << output.toStdString();
    EXPECT_EQ(client.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("OK"))) << output.toStdString();
}

}  // namespace
