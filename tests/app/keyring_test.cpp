// The saved password against a real Secret Service: each case runs this program again as a
// child, once inside a private session bus with gnome-keyring unlocked by a test password,
// once with no bus at all. The child cases do nothing unless started that way.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "app/qt_keychain.h"
#include "app/saved_password.h"
#include "app/settings_store.h"

namespace {

constexpr char kChildFolder[] = "KV_KEYRING_CHILD";
constexpr int kChildTimeoutMs = 60000;

// Runs the child case `name` with its home, data and runtime folders in `dir`; with
// `secretService`, inside dbus-run-session with gnome-keyring-daemon started and unlocked.
int RunChild(const QString& name, const QTemporaryDir& dir, bool secretService, QString& output) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildFolder), dir.path());
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
    const QString runtime = dir.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    const QString self = QCoreApplication::applicationFilePath();
    const QString filter = QStringLiteral("--gtest_filter=KeyringChild.") + name;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    if (secretService) {
        child.setProcessEnvironment(env);
        child.start(QStringLiteral("dbus-run-session"),
                    {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("echo test-pw | gnome-keyring-daemon --unlock "
                                    "--components=secrets >/dev/null && exec \"$0\" \"$1\""),
                     self, filter});
    } else {
        // A bus address where nothing listens: no Secret Service can answer.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + dir.filePath(QStringLiteral("no-bus")));
        child.setProcessEnvironment(env);
        child.start(self, {filter});
    }
    if (!child.waitForFinished(kChildTimeoutMs)) {
        child.kill();
        child.waitForFinished(5000);
        output = QStringLiteral("the child did not finish in time");
        return -1;
    }
    output = QString::fromLocal8Bit(child.readAll());
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

// The child's settings file, as a user of an earlier version left it.
SettingsStore EarlierSettings() {
    const QString dir = qEnvironmentVariable(kChildFolder);
    SettingsStore settings(dir + QStringLiteral("/Zorvi.conf"), dir + QStringLiteral("/none"));
    EXPECT_TRUE(settings.CreateUserKey());
    EXPECT_TRUE(settings.WriteNumber(QStringLiteral("psave"), 1));
    EXPECT_TRUE(settings.WriteString(QStringLiteral("username"), QStringLiteral("ann")));
    EXPECT_TRUE(settings.WriteString(QStringLiteral("password"), QStringLiteral("hunter2")));
    return settings;
}

QByteArray FileText(const SettingsStore& settings) {
    QFile f(settings.userFile());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

#define CHILD_ONLY()                                                     \
    if (qEnvironmentVariableIsEmpty(kChildFolder)) {                     \
        GTEST_SKIP() << "runs as a child of the KeyringTest cases only"; \
    }

TEST(KeyringChild, WithSecretService) {
    CHILD_ONLY();
    SettingsStore settings = EarlierSettings();
    QtKeychain keyring({});
    SavedPassword saved(settings, &keyring);

    saved.MoveIntoKeyring(QStringLiteral("ann"));
    EXPECT_FALSE(settings.HasValue(QStringLiteral("password")));
    EXPECT_FALSE(FileText(settings).contains("hunter2"));
    EXPECT_EQ(settings.ReadNumber(QStringLiteral("psave")), 1);
    EXPECT_EQ(settings.ReadString(QStringLiteral("username")), QStringLiteral("ann"));
    QString stored;
    ASSERT_EQ(keyring.Read(QStringLiteral("ann"), stored), IPasswordKeyring::Status::Ok);
    EXPECT_EQ(stored, QStringLiteral("hunter2"));
    EXPECT_EQ(saved.Read(QStringLiteral("ann")), QStringLiteral("hunter2"));

    saved.Save(QStringLiteral("ann"), QStringLiteral("n3w pass"));
    EXPECT_EQ(saved.Read(QStringLiteral("ann")), QStringLiteral("n3w pass"));
    EXPECT_FALSE(settings.HasValue(QStringLiteral("password")));
    EXPECT_EQ(keyring.Read(QStringLiteral("nobody"), stored), IPasswordKeyring::Status::NotFound);
}

TEST(KeyringChild, WithoutSecretService) {
    CHILD_ONLY();
    SettingsStore settings = EarlierSettings();
    const QByteArray before = FileText(settings);
    QtKeychain keyring({}, std::chrono::milliseconds(3000));
    SavedPassword saved(settings, &keyring);

    saved.MoveIntoKeyring(QStringLiteral("ann"));
    EXPECT_EQ(FileText(settings), before);
    EXPECT_EQ(saved.Read(QStringLiteral("ann")), QStringLiteral("hunter2"));
    saved.Save(QStringLiteral("ann"), QStringLiteral("n3w pass"));
    EXPECT_EQ(settings.ReadString(QStringLiteral("password")), QStringLiteral("n3w pass"));
    struct stat st {};
    ASSERT_EQ(stat(settings.userFile().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(KeyringTest, SavedPasswordMovesIntoARunningSecretService) {
    QTemporaryDir dir;
    QString output;
    EXPECT_EQ(RunChild(QStringLiteral("WithSecretService"), dir, true, output), 0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(KeyringTest, WithoutASecretServiceTheFileKeepsThePassword) {
    QTemporaryDir dir;
    QString output;
    EXPECT_EQ(RunChild(QStringLiteral("WithoutSecretService"), dir, false, output), 0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

}  // namespace
