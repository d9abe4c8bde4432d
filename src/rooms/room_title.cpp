#include "rooms/room_title.h"

namespace {
constexpr int kTitleBytes = 25;
}

QString RoomTitleLine(const QString& roomName, const QString& ownerName) {
    const QString ownerPart = QStringLiteral("(") + ownerName + QStringLiteral(")");
    const qsizetype blanks = kTitleBytes - roomName.toUtf8().size() - ownerPart.toUtf8().size();
    return roomName + QString(qMax<qsizetype>(blanks, 0), QLatin1Char(' ')) + ownerPart;
}
