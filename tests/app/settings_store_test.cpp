#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "app/endpoints.h"

namespace {

// A store over files in a fresh temporary folder.
struct StoreFixture : ::testing::Test {
    QTemporaryDir dir;
    QString userFile() const { return dir.filePath(QStringLiteral("home/Marquent/Zorvi.conf")); }
    QString machineFile() const { return dir.filePath(QStringLiteral("etc/Marquent/Zorvi.conf")); }
    SettingsStore store{userFile(), machineFile()};

    static void WriteFile(const QString& path, const QByteArray& content) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    static mode_t Mode(const QString& path) {
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
        return st.st_mode & 07777;
    }
};

}  // namespace

TEST_F(StoreFixture, NothingStoredMeansEverythingMissing) {
    EXPECT_FALSE(store.UserKeyExists());
    EXPECT_FALSE(store.ReadString(QStringLiteral("username")));
    EXPECT_FALSE(store.ReadNumber(QStringLiteral("psave")));
    EXPECT_FALSE(store.ReadMachinePath());
    EXPECT_EQ(store.InstallFolder(), QDir::currentPath());
    EXPECT_FALSE(store.ReadEndpoint(QStringLiteral("chatHost")));
    // Reading creates nothing.
    EXPECT_FALSE(QFile::exists(userFile()));
}

TEST_F(StoreFixture, KeyCreationWritesDefaultsOwnerOnly) {
    const mode_t oldMask = ::umask(0);
    const bool created = store.CreateUserKey();
    ::umask(oldMask);
    ASSERT_TRUE(created);
    EXPECT_TRUE(store.UserKeyExists());
    EXPECT_EQ(store.ReadNumber(QStringLiteral("psave")), 0);
    EXPECT_EQ(store.ReadString(QStringLiteral("username")), QString());
    EXPECT_EQ(store.ReadString(QStringLiteral("password")), QString());
    EXPECT_FALSE(store.ReadNumber(QStringLiteral("sound")));
    EXPECT_EQ(Mode(userFile()), mode_t(0600));

    QFile f(userFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("[1.1b]"));
}

TEST_F(StoreFixture, ValuesRoundTripAndKeepFileModeOnRewrite) {
    // A file somebody else created readable by all becomes owner-only on the next write.
    WriteFile(userFile(), "[1.1b]\npsave=1\n");
    ASSERT_TRUE(QFile::setPermissions(userFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ReadGroup |
                                                      QFileDevice::ReadOther));
    ASSERT_TRUE(store.WriteString(QStringLiteral("password"), QStringLiteral("s3cr,et=\"x\" ü")));
    EXPECT_EQ(Mode(userFile()), mode_t(0600));
    EXPECT_EQ(store.ReadString(QStringLiteral("password")), QStringLiteral("s3cr,et=\"x\" ü"));
    EXPECT_EQ(store.ReadNumber(QStringLiteral("psave")), 1);

    ASSERT_TRUE(store.WriteNumber(QStringLiteral("sound"), -7));
    EXPECT_EQ(store.ReadNumber(QStringLiteral("sound")), -7);
    EXPECT_EQ(Mode(userFile()), mode_t(0600));
    // Another store over the same file sees what was written.
    SettingsStore other(userFile(), machineFile());
    EXPECT_EQ(other.ReadNumber(QStringLiteral("sound")), -7);
}

TEST_F(StoreFixture, StringLimitAndValueKinds) {
    const QString at255(255, QLatin1Char('a'));
    ASSERT_TRUE(store.WriteString(QStringLiteral("username"), at255));
    EXPECT_EQ(store.ReadString(QStringLiteral("username")), at255);
    ASSERT_TRUE(store.WriteString(QStringLiteral("username"), at255 + QLatin1Char('a')));
    EXPECT_FALSE(store.ReadString(QStringLiteral("username")));
    // The limit is in bytes: 128 two-byte characters are too long.
    ASSERT_TRUE(store.WriteString(QStringLiteral("username"), QString(128, QChar(0xE9))));
    EXPECT_FALSE(store.ReadString(QStringLiteral("username")));

    // Hand-edited values of the wrong kind count as missing; numbers are four bytes.
    WriteFile(userFile(), "[1.1b]\nusername=alice, bob\npsave=yes\nsound=4294967295\n");
    EXPECT_FALSE(store.ReadString(QStringLiteral("username")));
    EXPECT_FALSE(store.ReadNumber(QStringLiteral("psave")));
    EXPECT_EQ(store.ReadNumber(QStringLiteral("sound")), -1);
    WriteFile(userFile(), "[1.1b]\nsound=4294967296\n");
    EXPECT_FALSE(store.ReadNumber(QStringLiteral("sound")));
}

TEST_F(StoreFixture, MachinePathRule) {
    const QString longPath = QLatin1Char('/') + QString(299, QLatin1Char('p'));
    WriteFile(machineFile(), "[1.1b]\nPath=" + longPath.toUtf8() + "\n");
    EXPECT_FALSE(store.ReadMachinePath());
    EXPECT_EQ(store.InstallFolder(), QDir::currentPath());

    WriteFile(machineFile(), "[1.1b]\nPath=\n");
    EXPECT_EQ(store.InstallFolder(), QDir::currentPath());

    WriteFile(machineFile(), "[1.1b]\nPath=/opt/zorvi\n");
    EXPECT_EQ(store.ReadMachinePath(), QStringLiteral("/opt/zorvi"));
    EXPECT_EQ(store.InstallFolder(), QStringLiteral("/opt/zorvi"));
    // The user file never supplies the installation folder.
    WriteFile(userFile(), "[1.1b]\nPath=/home/elsewhere\n");
    EXPECT_EQ(store.InstallFolder(), QStringLiteral("/opt/zorvi"));
}

TEST_F(StoreFixture, UnwritableUserFileFailsQuietly) {
    // A path below a regular file can never be created, even by root.
    WriteFile(dir.filePath(QStringLiteral("plain")), "x");
    SettingsStore blocked(dir.filePath(QStringLiteral("plain/Marquent/Zorvi.conf")), machineFile());
    EXPECT_FALSE(blocked.CreateUserKey());
    EXPECT_FALSE(blocked.WriteString(QStringLiteral("username"), QStringLiteral("alice")));
    EXPECT_FALSE(blocked.WriteNumber(QStringLiteral("sound"), 1));
    EXPECT_FALSE(blocked.UserKeyExists());
    EXPECT_FALSE(blocked.ReadString(QStringLiteral("username")));
}

TEST_F(StoreFixture, EndpointPrecedence) {
    WriteFile(
        machineFile(),
        "[endpoints]\nchatHost=machine.example\nloginHost=10.0.0.1\nwebUrl=http://web.example/\n");
    WriteFile(userFile(),
              "[endpoints]\nchatHost=user.example\nservicePort=6111\nloginPort=99999\n");

    qunsetenv("KESTRIVAN_CHAT_HOST");
    qunsetenv("KESTRIVAN_LOGIN_PORT");
    const Endpoints fromFiles = Endpoints::Load(store);
    EXPECT_EQ(fromFiles.chatHost, QStringLiteral("user.example"));
    EXPECT_EQ(fromFiles.loginHost, QStringLiteral("10.0.0.1"));
    EXPECT_EQ(fromFiles.webUrl, QStringLiteral("http://web.example"));
    EXPECT_EQ(fromFiles.EffectCatalogue(),
              QStringLiteral("http://web.example/effect/effectlist.htm"));
    EXPECT_EQ(fromFiles.servicePort, 6111);
    EXPECT_EQ(fromFiles.loginPort, Endpoints().loginPort) << "an impossible port is ignored";
    EXPECT_EQ(fromFiles.siblingUrl, Endpoints().siblingUrl);

    qputenv("KESTRIVAN_CHAT_HOST", "env.example");
    qputenv("KESTRIVAN_LOGIN_PORT", "3999");
    const Endpoints fromEnv = Endpoints::Load(store);
    qunsetenv("KESTRIVAN_CHAT_HOST");
    qunsetenv("KESTRIVAN_LOGIN_PORT");
    EXPECT_EQ(fromEnv.chatHost, QStringLiteral("env.example"));
    EXPECT_EQ(fromEnv.loginPort, 3999);
    EXPECT_EQ(fromEnv.loginHost, QStringLiteral("10.0.0.1"));
}

TEST_F(StoreFixture, TlsIsSwitchedOnByTheEndpointsOrTheEnvironment) {
    EXPECT_FALSE(Endpoints::Load(store).Tls().enabled);
    WriteFile(machineFile(), "[endpoints]\ntls=yes\ncaFile=/etc/zorvi/ca.pem\n");
    const zorvi::TlsSettings fromFiles = Endpoints::Load(store).Tls();
    EXPECT_TRUE(fromFiles.enabled);
    EXPECT_EQ(fromFiles.caFile, "/etc/zorvi/ca.pem");

    // The user's value comes first; one that is no switch leaves the default.
    WriteFile(userFile(), "[endpoints]\ntls=maybe\n");
    EXPECT_FALSE(Endpoints::Load(store).Tls().enabled);
    WriteFile(userFile(), "[endpoints]\ntls=off\n");
    EXPECT_FALSE(Endpoints::Load(store).Tls().enabled);
    qputenv("KESTRIVAN_TLS", "1");
    qputenv("KESTRIVAN_CA_FILE", "/tmp/demo-ca.pem");
    const zorvi::TlsSettings fromEnv = Endpoints::Load(store).Tls();
    qunsetenv("KESTRIVAN_TLS");
    qunsetenv("KESTRIVAN_CA_FILE");
    EXPECT_TRUE(fromEnv.enabled);
    EXPECT_EQ(fromEnv.caFile, "/tmp/demo-ca.pem");
}

TEST_F(StoreFixture, WindowPlaceAndSkinLiveInTheirOwnGroupBesideTheLoginValues) {
    EXPECT_FALSE(store.ReadWindowPlacement());
    EXPECT_TRUE(store.ReadSkin().isEmpty());
    ASSERT_TRUE(store.CreateUserKey());
    ASSERT_TRUE(store.WriteString(QStringLiteral("username"), QStringLiteral("ann")));

    ASSERT_TRUE(store.WriteWindowPlacement({QRect(40, 30, 1000, 700), true}));
    ASSERT_TRUE(store.WriteSkin(QStringLiteral("classic")));
    SettingsStore again(userFile(), machineFile());  // as the next start reads them
    const auto placement = again.ReadWindowPlacement();
    ASSERT_TRUE(placement);
    EXPECT_EQ(placement->geometry, QRect(40, 30, 1000, 700));
    EXPECT_TRUE(placement->maximized);
    EXPECT_EQ(again.ReadSkin(), QStringLiteral("classic"));
    EXPECT_EQ(Mode(userFile()), mode_t(0600));

    // The group the login and options know holds exactly what it held.
    QSettings file(userFile(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("1.1b"));
    EXPECT_EQ(file.allKeys().size(), 3);
    EXPECT_EQ(again.ReadString(QStringLiteral("username")), QStringLiteral("ann"));
    file.endGroup();
    EXPECT_TRUE(file.childGroups().contains(QStringLiteral("Kestrivan")));

    // A damaged entry counts as none.
    WriteFile(userFile(), "[Kestrivan]\nWindow\\geometry=wide\nvariant=dark\n");
    EXPECT_FALSE(SettingsStore(userFile(), machineFile()).ReadWindowPlacement());
    EXPECT_EQ(SettingsStore(userFile(), machineFile()).ReadSkinVariant(), QStringLiteral("dark"));
}

TEST_F(StoreFixture, DefaultLocationsFollowXdg) {
    const QByteArray savedHome = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedDirs = qgetenv("XDG_CONFIG_DIRS");
    const QString first = dir.filePath(QStringLiteral("xdg1"));
    const QString second = dir.filePath(QStringLiteral("xdg2"));
    WriteFile(second + QStringLiteral("/Marquent/Zorvi.conf"), "[1.1b]\nPath=/opt/second\n");
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("cfg")).toUtf8());
    qputenv("XDG_CONFIG_DIRS", (first + QLatin1Char(':') + second).toUtf8());
    const SettingsStore located;
    qputenv("XDG_CONFIG_HOME", savedHome);
    qputenv("XDG_CONFIG_DIRS", savedDirs);
    if (savedHome.isNull()) qunsetenv("XDG_CONFIG_HOME");
    if (savedDirs.isNull()) qunsetenv("XDG_CONFIG_DIRS");

    EXPECT_EQ(located.userFile(), dir.filePath(QStringLiteral("cfg/Marquent/Zorvi.conf")));
    // The first folder that holds the file, not simply the first folder.
    EXPECT_EQ(located.machineFile(), second + QStringLiteral("/Marquent/Zorvi.conf"));
    EXPECT_EQ(located.InstallFolder(), QStringLiteral("/opt/second"));
}
