#include "app/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include <limits>

namespace {

const QString kUserGroup = QStringLiteral("1.1b");
const QString kEndpointGroup = QStringLiteral("endpoints");
const QString kOwnGroup = QStringLiteral("Kestrivan");
const QString kRelativeFile = QStringLiteral("Marquent/Zorvi.conf");
// Values are read into buffers of this many bytes; anything longer counts as missing.
constexpr qsizetype kMaxStringBytes = 255;

QString Key(const QString& group, const QString& name) { return group + QLatin1Char('/') + name; }

QString DefaultUserFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + kRelativeFile;
}

// The first folder of $XDG_CONFIG_DIRS holding the file; the first folder when none does.
QString DefaultMachineFile() {
    QStringList dirs =
        qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (dirs.isEmpty()) dirs << QStringLiteral("/etc/xdg");
    for (const QString& dir : dirs) {
        const QString candidate = dir + QLatin1Char('/') + kRelativeFile;
        if (QFileInfo::exists(candidate)) return candidate;
    }
    return dirs.first() + QLatin1Char('/') + kRelativeFile;
}

// A plain string value within the size limit. Qt reads a comma-separated INI value as a
// list: that is a value of another kind and counts as missing.
std::optional<QString> StringValue(const QVariant& v) {
    if (!v.isValid() || v.typeId() != QMetaType::QString) return std::nullopt;
    QString s = v.toString();
    if (s.toUtf8().size() > kMaxStringBytes) return std::nullopt;
    return s;
}

// The user file may hold a password: it exists only as readable by its owner.
bool PrepareUserFile(const QString& path) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) return false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return false;
    const bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    ::close(fd);
    return ok;
}

// Writes through QSettings and reports whether the value reached the file. Qt replaces
// the file on every write, so the owner-only mode is applied again afterwards.
template <typename Change>
bool WriteUserFile(const QString& path, Change&& change) {
    if (!PrepareUserFile(path)) return false;
    {
        QSettings s(path, QSettings::IniFormat);
        change(s);
        s.sync();
        if (s.status() != QSettings::NoError) return false;
    }
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}  // namespace

SettingsStore::SettingsStore() : SettingsStore(DefaultUserFile(), DefaultMachineFile()) {}

SettingsStore::SettingsStore(QString userConfigFile, QString machineConfigFile)
    : userFile_(std::move(userConfigFile)), machineFile_(std::move(machineConfigFile)) {}

bool SettingsStore::UserKeyExists() const {
    if (!QFileInfo::exists(userFile_)) return false;
    QSettings s(userFile_, QSettings::IniFormat);
    return s.status() == QSettings::NoError && s.childGroups().contains(kUserGroup);
}

bool SettingsStore::CreateUserKey() {
    return WriteUserFile(userFile_, [](QSettings& s) {
        s.setValue(Key(kUserGroup, QStringLiteral("psave")), 0);
        s.setValue(Key(kUserGroup, QStringLiteral("username")), QString());
        s.setValue(Key(kUserGroup, QStringLiteral("password")), QString());
    });
}

std::optional<QString> SettingsStore::ReadString(const QString& name) const {
    if (!QFileInfo::exists(userFile_)) return std::nullopt;
    QSettings s(userFile_, QSettings::IniFormat);
    return StringValue(s.value(Key(kUserGroup, name)));
}

std::optional<std::int32_t> SettingsStore::ReadNumber(const QString& name) const {
    if (!QFileInfo::exists(userFile_)) return std::nullopt;
    QSettings s(userFile_, QSettings::IniFormat);
    const QVariant v = s.value(Key(kUserGroup, name));
    bool ok = false;
    qlonglong n = 0;
    switch (v.typeId()) {
        case QMetaType::QString:  // as read from the file
            n = v.toString().trimmed().toLongLong(&ok);
            break;
        case QMetaType::Int:  // as written in this process, still in Qt's cache
        case QMetaType::UInt:
        case QMetaType::LongLong:
            n = v.toLongLong(&ok);
            break;
        default:
            return std::nullopt;
    }
    // Four bytes are read whatever their sign: 4294967295 is -1.
    if (!ok || n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
}

bool SettingsStore::WriteString(const QString& name, const QString& value) {
    return WriteUserFile(userFile_,
                         [&](QSettings& s) { s.setValue(Key(kUserGroup, name), value); });
}

bool SettingsStore::HasValue(const QString& name) const {
    if (!QFileInfo::exists(userFile_)) return false;
    QSettings s(userFile_, QSettings::IniFormat);
    return s.contains(Key(kUserGroup, name));
}

bool SettingsStore::RemoveValue(const QString& name) {
    return WriteUserFile(userFile_, [&](QSettings& s) { s.remove(Key(kUserGroup, name)); });
}

bool SettingsStore::WriteNumber(const QString& name, std::int32_t value) {
    return WriteUserFile(userFile_,
                         [&](QSettings& s) { s.setValue(Key(kUserGroup, name), value); });
}

std::optional<QString> SettingsStore::ReadMachinePath() const {
    if (!QFileInfo::exists(machineFile_)) return std::nullopt;
    QSettings s(machineFile_, QSettings::IniFormat);
    auto path = StringValue(s.value(Key(kUserGroup, QStringLiteral("Path"))));
    // An empty folder would put every file at the root of the file system.
    if (path && path->isEmpty()) return std::nullopt;
    return path;
}

QString SettingsStore::InstallFolder() const {
    if (auto path = ReadMachinePath()) return *path;
    return QDir::currentPath();
}

std::optional<QString> SettingsStore::ReadEndpoint(const QString& name) const {
    for (const QString& file : {userFile_, machineFile_}) {
        if (!QFileInfo::exists(file)) continue;
        QSettings s(file, QSettings::IniFormat);
        if (auto v = StringValue(s.value(Key(kEndpointGroup, name))); v && !v->isEmpty()) return v;
    }
    return std::nullopt;
}

// --- Group "Kestrivan": this client's own preferences ---

bool SettingsStore::ReadTimestamps() const {
    if (!QFileInfo::exists(userFile_)) return false;
    QSettings s(userFile_, QSettings::IniFormat);
    const QVariant v = s.value(Key(kOwnGroup, QStringLiteral("timestamps")));
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    const QString text = v.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

bool SettingsStore::WriteTimestamps(bool on) {
    return WriteUserFile(userFile_, [&](QSettings& s) {
        s.setValue(Key(kOwnGroup, QStringLiteral("timestamps")), on);
    });
}
std::optional<SettingsStore::WindowPlacement> SettingsStore::ReadWindowPlacement() const {
    if (!QFileInfo::exists(userFile_)) return std::nullopt;
    QSettings s(userFile_, QSettings::IniFormat);
    const QVariant v = s.value(Key(kOwnGroup, QStringLiteral("Window/geometry")));
    const QRect r = v.toRect();
    if (!v.isValid() || !r.isValid()) return std::nullopt;
    WindowPlacement placement;
    placement.geometry = r;
    placement.maximized = s.value(Key(kOwnGroup, QStringLiteral("Window/maximized"))).toBool();
    return placement;
}

bool SettingsStore::WriteWindowPlacement(const WindowPlacement& placement) {
    return WriteUserFile(userFile_, [&](QSettings& s) {
        s.setValue(Key(kOwnGroup, QStringLiteral("Window/geometry")), placement.geometry);
        s.setValue(Key(kOwnGroup, QStringLiteral("Window/maximized")), placement.maximized);
    });
}

QString SettingsStore::ReadSkin() const {
    if (!QFileInfo::exists(userFile_)) return {};
    QSettings s(userFile_, QSettings::IniFormat);
    return StringValue(s.value(Key(kOwnGroup, QStringLiteral("skin")))).value_or(QString());
}

bool SettingsStore::WriteSkin(const QString& name) {
    return WriteUserFile(
        userFile_, [&](QSettings& s) { s.setValue(Key(kOwnGroup, QStringLiteral("skin")), name); });
}

QString SettingsStore::ReadSkinVariant() const {
    if (!QFileInfo::exists(userFile_)) return {};
    QSettings s(userFile_, QSettings::IniFormat);
    return StringValue(s.value(Key(kOwnGroup, QStringLiteral("variant")))).value_or(QString());
}
