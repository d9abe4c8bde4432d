#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Reads the server list file: one host per line, lines ended by CR LF (a bare LF is taken
// too). Nothing when the file cannot be opened. A read error ends the reading and keeps
// the lines read so far. The chat host may rewrite this file, so reading stops after
// kMaxServerEntries lines rather than filling the box without bound.
inline constexpr int kMaxServerEntries = 1000;
std::optional<QStringList> ReadServerList(const QString& path);
