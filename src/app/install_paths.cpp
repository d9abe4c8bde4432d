#include "app/install_paths.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "app/settings_store.h"

namespace {

const QString kServerList = QStringLiteral("config/server.cfg");

QString DataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kestrivan");
}

// access() and not QFileInfo::isWritable(): the folder must be one we may create files in.
bool FolderWritable(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

}  // namespace

QString ServerListReadPath(const SettingsStore& settings) {
    const QString personal = DataFolder() + QLatin1Char('/') + kServerList;
    if (QFileInfo(personal).isFile()) return personal;
    return settings.InstallFolder() + QLatin1Char('/') + kServerList;
}

QString WritablePath(const SettingsStore& settings, const QString& relative) {
    const QString installed = settings.InstallFolder() + QLatin1Char('/') + relative;
    if (FolderWritable(QFileInfo(installed).absolutePath())) return installed;
    const QString personal = DataFolder() + QLatin1Char('/') + relative;
    if (!QDir().mkpath(QFileInfo(personal).absolutePath())) return {};
    return personal;
}
