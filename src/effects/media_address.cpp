#include "effects/media_address.h"

#include <QDir>
#include <QFileInfo>

bool MediaAddress::IsPlaylist() const {
    return url.path().endsWith(QLatin1String(".asx"), Qt::CaseInsensitive);
}

MediaAddress ClassifyMediaAddress(const QString& addressOrFile) {
    const QString text = addressOrFile.trimmed();
    if (text.isEmpty()) return {};

    QString localPath;
    if (text.startsWith(QLatin1Char('/'))) {
        localPath = text;
    } else {
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid()) return {};
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String("file")) {
            // Only local files: a host names a share the player has no business reaching.
            if (!url.host().isEmpty() && url.host() != QLatin1String("localhost")) return {};
            localPath = url.toLocalFile();
        } else if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                   scheme == QLatin1String("rtsp")) {
            if (url.host().isEmpty()) return {};
            return {MediaAddress::kNetwork, url};
        } else {
            return {};
        }
    }
    const QFileInfo info(QDir::cleanPath(localPath));
    if (!info.exists())
        return {MediaAddress::kMissingFile, QUrl::fromLocalFile(info.absoluteFilePath())};
    if (!info.isFile() || !info.isReadable()) return {};
    return {MediaAddress::kLocalFile, QUrl::fromLocalFile(info.absoluteFilePath())};
}
