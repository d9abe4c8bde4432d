#include "effects/live_show_playlist.h"

#include <QFile>

namespace {

// The playlist's own texts, not the server's.
constexpr char kAuthor[] = "Marquent";
constexpr char kCopyright[] = "Marquent Zorvi";

}  // namespace

QByteArray XmlEscaped(const std::string& text) {
    QByteArray out;
    out.reserve(qsizetype(text.size()));
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

QByteArray BuildLiveShowPlaylist(const std::string& mediaAddress,
                                 const std::vector<std::string>& list) {
    QByteArray out;
    out += "<ASX version = \"3.0\">";
    out += "<TITLE>Zorvi-Live Show</TITLE>";
    out += QByteArray("<AUTHOR>") + kAuthor + "</AUTHOR>";
    out += QByteArray("<COPYRIGHT>") + kCopyright + "</COPYRIGHT>";
    if (!list.empty()) {
        const QByteArray link = XmlEscaped(list[0]);
        out += "<Base href=\"" + link + "\" />";
        out += "<MoreInfo href = \"" + link + "\" />";
        if (list.size() >= 2) out += "<Abstract>" + XmlEscaped(list[1]) + "</Abstract>";
    }
    out += "<Repeat>";
    out += "<Entry>";
    out += "<Ref href = \"" + XmlEscaped(mediaAddress) + "\" />";
    out += "</Entry>";
    out += "</Repeat>";
    out += "</ASX>";
    return out;
}

PlaylistWrite WritePlaylistFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return PlaylistWrite::NotCreated;
    // QFile buffers: a full disk shows only when the buffer reaches the file.
    const bool ok = file.write(content) == content.size() && file.flush();
    file.close();
    return ok && file.error() == QFileDevice::NoError ? PlaylistWrite::Written
                                                      : PlaylistWrite::WriteFailed;
}
