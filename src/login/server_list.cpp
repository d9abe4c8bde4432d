#include "login/server_list.h"

#include <QFile>

std::optional<QStringList> ReadServerList(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QStringList lines;
    // A line longer than this is cut into pieces; host names are far shorter.
    constexpr qint64 kMaxLineBytes = 4096;
    while (lines.size() < kMaxServerEntries && !file.atEnd()) {
        QByteArray line = file.readLine(kMaxLineBytes);
        if (line.isEmpty() && file.error() != QFileDevice::NoError) break;
        if (line.endsWith('\n')) line.chop(1);
        if (line.endsWith('\r')) line.chop(1);
        lines << QString::fromUtf8(line);
    }
    return lines;
}
