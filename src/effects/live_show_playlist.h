#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

// The live show's playlist: one line of ASX 3.0 naming the media address, with an optional
// base and more-information link (first list entry) and an abstract (second entry).
// Every value from the server is XML-escaped, so a quote or an angle bracket can neither
// break the file nor add elements to it.
QByteArray BuildLiveShowPlaylist(const std::string& mediaAddress,
                                 const std::vector<std::string>& list);

// The five characters XML gives a meaning to, replaced by their entities.
QByteArray XmlEscaped(const std::string& text);

enum class PlaylistWrite {
    Written,
    NotCreated,   // the file could not be created: nothing was written
    WriteFailed,  // created, but the content did not all reach the disk
};

// Creates the file anew (truncating any earlier one) and writes the content.
PlaylistWrite WritePlaylistFile(const QString& path, const QByteArray& content);
