#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "server/core/server_config.h"

namespace zorvid {

class Participant;

struct RoomMember {
    std::string name;
    Participant* participant = nullptr;
};

// A room: its chat port, its owner and the people in it, longest present first.
struct Room {
    std::string name;
    char marker = ' ';
    bool permanent = false;
    int port = -1;
    std::string owner;  // kept when the room empties, so its owner's removal finds it
    std::vector<RoomMember> members;
    bool awaitingCreator = false;  // created, and its creator has not joined yet
    LiveShowConfig liveShow;
    std::uint64_t order = 0;  // channel-list position
    std::chrono::steady_clock::time_point emptySince{};

    RoomMember* Find(const std::string& who);
    const RoomMember* Find(const std::string& who) const;
    bool Contains(const std::string& who) const { return Find(who) != nullptr; }
};

}  // namespace zorvid
