#pragma once

#include "rooms/people_search.h"
#include "rooms/room_context.h"

// Finding which room somebody is in, and delivering a message along with the look-up,
// over one-shot service exchanges; works whether or not the user is in a room.
class PeopleFinder : public PeopleSearch {
public:
    explicit PeopleFinder(RoomContext& ctx) : ctx_(ctx) {}

    QString FindUser(const QString& nickname) override;
    void SendToFoundUser(const QString& nickname, const QString& room,
                         const QString& message) override;
    // The Find button: the "Find people" dialog, modal.
    void OnFind();

private:
    RoomContext& ctx_;
};
