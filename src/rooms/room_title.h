#pragma once

#include <QString>

// The room title line: the room name, blanks, then "(owner)". The blanks fill the line to
// 25 bytes of UTF-8; when the two parts already reach 25 bytes they are joined directly.
QString RoomTitleLine(const QString& roomName, const QString& ownerName);
