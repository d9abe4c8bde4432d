#include "shell/automation_service_file.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include "shell/automation_names.h"

namespace {
// The bus reads Exec like a shell command line: a path with blanks or quotes is quoted.
QString QuotedForExec(const QString& path) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+,:@=-]+$"));
    if (plain.match(path).hasMatch()) return path;
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
}  // namespace

QString AutomationServiceFile::DefaultFolder() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || QDir::isRelativePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/dbus-1/services");
}

QString AutomationServiceFile::FileName() {
    return QString::fromLatin1(automation_names::kService) + QStringLiteral(".service");
}

QString AutomationServiceFile::Contents(const QString& programPath) {
    return QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2 %3\n")
        .arg(QString::fromLatin1(automation_names::kService), QuotedForExec(programPath),
             QString::fromLatin1(automation_names::kSwitch));
}

bool AutomationServiceFile::Refresh(const QString& folder, const QString& programPath) {
    const QByteArray wanted = Contents(programPath).toUtf8();
    const QString path = folder + QLatin1Char('/') + FileName();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == wanted) return true;
    existing.close();
    if (!QDir().mkpath(folder)) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(wanted) != wanted.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
