#pragma once

#include <QString>
#include <QUrl>

// What the live-show player may be given: a network stream (http, https, rtsp) or a local
// regular file. Anything else (other schemes, devices, folders) is refused before the
// media framework sees it.
struct MediaAddress {
    enum Kind { kInvalid, kNetwork, kLocalFile, kMissingFile };
    Kind kind = kInvalid;
    QUrl url;  // the address as the player takes it, when kNetwork or kLocalFile
    bool IsPlaylist() const;
};

MediaAddress ClassifyMediaAddress(const QString& addressOrFile);
