#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "app/automation_switch.h"

namespace {

// Starts a holder process and returns the line it printed ("acquired", "running", ...).
QString StartHolder(QProcess& p, const QString& folder) {
    p.setProgram(QStringLiteral(KV_INSTANCE_HOLDER));
    p.setArguments({folder});
    p.start();
    if (!p.waitForStarted(5000)) return QStringLiteral("not started");
    if (!p.canReadLine()) {
        const QDeadlineTimer deadline(5000);
        while (!p.canReadLine() && !deadline.hasExpired())
            p.waitForReadyRead(int(deadline.remainingTime()));
    }
    return QString::fromUtf8(p.readLine()).trimmed();
}

}  // namespace

TEST(SingleInstance, SecondProcessRefusedUntilFirstDies) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    QProcess first;
    ASSERT_EQ(StartHolder(first, dir.path()), QStringLiteral("acquired"));

    QProcess second;
    EXPECT_EQ(StartHolder(second, dir.path()), QStringLiteral("running"));
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 1);

    // The first copy is untouched and still holds the lock.
    EXPECT_EQ(first.state(), QProcess::Running);
    SingleInstanceGuard here(QStringLiteral("Zorvi_Unique"), dir.path());
    EXPECT_EQ(here.Acquire(), SingleInstanceGuard::Result::AlreadyRunning);

    // A copy killed outright leaves no stale lock behind.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));
    QProcess third;
    EXPECT_EQ(StartHolder(third, dir.path()), QStringLiteral("acquired"));
    EXPECT_EQ(here.Acquire(), SingleInstanceGuard::Result::AlreadyRunning);
    third.closeWriteChannel();
    ASSERT_TRUE(third.waitForFinished(5000));
    EXPECT_EQ(third.exitCode(), 0);

    // After an orderly end, this process may take it, and then holds it against others.
    EXPECT_EQ(here.Acquire(), SingleInstanceGuard::Result::Acquired);
    QProcess fourth;
    EXPECT_EQ(StartHolder(fourth, dir.path()), QStringLiteral("running"));
    fourth.waitForFinished(5000);
}

TEST(SingleInstance, LockFileLocation) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    EXPECT_TRUE(SingleInstanceGuard().lockFile().startsWith(runtime.path() + QLatin1Char('/')));

    // Without a runtime folder the lock lives in a private folder under /tmp.
    qputenv("XDG_RUNTIME_DIR", runtime.filePath(QStringLiteral("gone")).toUtf8());
    SingleInstanceGuard fallback(QStringLiteral("Zorvi_Unique_fallback_test"));
    EXPECT_TRUE(fallback.lockFile().startsWith(QStringLiteral("/tmp/kestrivan-")))
        << fallback.lockFile().toStdString();
    EXPECT_EQ(fallback.Acquire(), SingleInstanceGuard::Result::Acquired);
    QFile::remove(fallback.lockFile());
    qputenv("XDG_RUNTIME_DIR", saved);

    // A folder that cannot exist: no lock at all, reported as such.
    SingleInstanceGuard nowhere(QStringLiteral("Zorvi_Unique"),
                                QStringLiteral("/proc/self/status/x"));
    EXPECT_EQ(nowhere.Acquire(), SingleInstanceGuard::Result::Unavailable);
}

TEST(AutomationSwitches, ParsedAsWritten) {
    struct Case {
        QStringList args;
        AutomationSwitch expected;
    };
    const Case cases[] = {
        {{}, AutomationSwitch::None},
        {{QStringLiteral("-Embedding")}, AutomationSwitch::Embedding},
        {{QStringLiteral("/embedding")}, AutomationSwitch::Embedding},
        {{QStringLiteral("/Automation")}, AutomationSwitch::Automation},
        {{QStringLiteral("-AUTOMATION")}, AutomationSwitch::Automation},
        {{QStringLiteral("x"), QStringLiteral("/Automation"), QStringLiteral("-Embedding")},
         AutomationSwitch::Automation},
        {{QStringLiteral("Automation")}, AutomationSwitch::None},
        {{QStringLiteral("--Automation")}, AutomationSwitch::None},
        {{QStringLiteral("-Automation2")}, AutomationSwitch::None},
        {{QStringLiteral("/Embed")}, AutomationSwitch::None},
        {{QStringLiteral("-")}, AutomationSwitch::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindAutomationSwitch(c.args), c.expected)
            << c.args.join(QLatin1Char(' ')).toStdString();
    }
}
