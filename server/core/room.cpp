#include "server/core/room.h"

namespace zorvid {

RoomMember* Room::Find(const std::string& who) {
    for (auto& m : members) {
        if (m.name == who) return &m;
    }
    return nullptr;
}

const RoomMember* Room::Find(const std::string& who) const {
    return const_cast<Room*>(this)->Find(who);
}

}  // namespace zorvid
