#include "app/install_paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/settings_store.h"

namespace {

struct InstallPaths : ::testing::Test {
    QTemporaryDir dir;
    QByteArray savedData = qgetenv("XDG_DATA_HOME");

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    }
    void TearDown() override {
        if (savedData.isNull()) {
            qunsetenv("XDG_DATA_HOME");
        } else {
            qputenv("XDG_DATA_HOME", savedData);
        }
    }

    // A store whose installation folder is `folder`.
    SettingsStore StoreWithPath(const QString& folder) {
        const QString machine = dir.filePath(QStringLiteral("etc/Marquent/Zorvi.conf"));
        QDir().mkpath(QFileInfo(machine).absolutePath());
        QFile f(machine);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[1.1b]\nPath=" + folder.toUtf8() + "\n");
        f.close();
        return SettingsStore(dir.filePath(QStringLiteral("home/Zorvi.conf")), machine);
    }
    QString DataPath(const QString& relative) const {
        return dir.filePath(QStringLiteral("data/kestrivan/")) + relative;
    }
};

}  // namespace

TEST_F(InstallPaths, WritableInstallationFolderIsUsed) {
    const QString install = dir.filePath(QStringLiteral("install"));
    ASSERT_TRUE(QDir().mkpath(install + QStringLiteral("/config")));
    const SettingsStore store = StoreWithPath(install);
    EXPECT_EQ(WritablePath(store, QStringLiteral("config/server.cfg")),
              install + QStringLiteral("/config/server.cfg"));
    EXPECT_EQ(WritablePath(store, QStringLiteral("Zorvi.asx")),
              install + QStringLiteral("/Zorvi.asx"));
    EXPECT_EQ(ServerListReadPath(store), install + QStringLiteral("/config/server.cfg"));
    EXPECT_FALSE(QDir(DataPath(QString())).exists()) << "no personal folder needed";
}

TEST_F(InstallPaths, FallsBackToPersonalDataFolder) {
    // The installation folder lies below a regular file: nothing can be created there.
    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const SettingsStore blocked = StoreWithPath(dir.filePath(QStringLiteral("plain/install")));

    const QString asx = WritablePath(blocked, QStringLiteral("Zorvi.asx"));
    EXPECT_EQ(asx, DataPath(QStringLiteral("Zorvi.asx")));
    const QString list = WritablePath(blocked, QStringLiteral("config/server.cfg"));
    EXPECT_EQ(list, DataPath(QStringLiteral("config/server.cfg")));
    EXPECT_TRUE(QDir(DataPath(QStringLiteral("config"))).exists())
        << "folders are created for the writer";

    // Until a personal copy exists, the list is read from the installation folder.
    EXPECT_EQ(ServerListReadPath(blocked),
              dir.filePath(QStringLiteral("plain/install/config/server.cfg")));
    QFile copy(list);
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write("alpha\r\n");
    copy.close();
    EXPECT_EQ(ServerListReadPath(blocked), list);
}

TEST_F(InstallPaths, MissingConfigFolderFallsBackForTheServerListOnly) {
    const QString install = dir.filePath(QStringLiteral("bare"));
    ASSERT_TRUE(QDir().mkpath(install));
    const SettingsStore store = StoreWithPath(install);
    EXPECT_EQ(WritablePath(store, QStringLiteral("config/server.cfg")),
              DataPath(QStringLiteral("config/server.cfg")));
    EXPECT_EQ(WritablePath(store, QStringLiteral("Zorvi.asx")),
              install + QStringLiteral("/Zorvi.asx"));
}
