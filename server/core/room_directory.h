#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "net/cmsg.h"
#include "server/core/relay_frames.h"

namespace zorvid {

// What the service port needs to know of a room, wherever the room lives: its place in the
// channel list, its port, its owner and who is in it.
struct RoomEntry {
    std::string name;
    char marker = ' ';
    bool permanent = false;
    int port = -1;
    std::string owner;
    std::vector<std::string> members;  // longest present first
    std::uint64_t order = 0;           // channel-list position: permanent rooms first
    int home = 0;                      // the event loop the room lives on
    // In a cluster: the node the room lives on, and where each member's connection is
    // (parallel to `members`), so that another node can take the room over.
    std::string node;
    std::vector<RelayAddress> links;
};

// Every room of the service, kept up to date by the loops the rooms live on and read by
// the service requests of any loop. Safe to use from several threads: a room changes here
// when someone joins or leaves it, never per line.
class RoomDirectory {
public:
    // Called after each change, under no lock; the cluster passes changes on to other nodes.
    using Listener = std::function<void(const RoomEntry* entry, const std::string& name)>;

    // Holds a name for a room being created, so that two creations cannot both take it.
    // False when a room or a creation already has the name.
    bool Reserve(const std::string& name);
    void Unreserve(const std::string& name);

    void Put(const RoomEntry& entry);
    void Erase(const std::string& name);

    std::optional<RoomEntry> ByName(const std::string& name) const;
    std::optional<RoomEntry> ByPort(int port) const;
    // The first room, in channel-list order, that `person` is in (or only `room` when set).
    std::optional<RoomEntry> Locate(const std::string& person, const std::string& room = {}) const;
    // Every room in channel-list order (or only those living on `node`).
    std::vector<RoomEntry> All() const;
    std::vector<RoomEntry> OnNode(const std::string& node) const;
    // The channel-list position for the next created room.
    std::uint64_t NextOrder();
    std::size_t Size() const;

    void SetListener(Listener listener) { listener_ = std::move(listener); }

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, RoomEntry> byName_;
    // Channel-list order. Nodes of a cluster number their creations each on its own, so two
    // rooms may share a number; the name breaks the tie the same way everywhere.
    std::set<std::pair<std::uint64_t, std::string>> order_;
    std::unordered_map<int, std::string> byPort_;
    std::unordered_set<std::string> reserved_;
    std::uint64_t nextOrder_ = std::uint64_t{1} << 32;  // after every permanent room
    Listener listener_;
};

// A room's entry as the nodes of a cluster send it to each other; nothing when malformed.
std::string EncodeEntry(const RoomEntry& entry);
std::optional<RoomEntry> DecodeEntry(std::string_view text);

// The service's answers that the directory alone gives.
CMsg ChannelListReply(const RoomDirectory& directory);
CMsg LookUpReply(const RoomDirectory& directory, const std::string& room);
CMsg FindReply(const RoomDirectory& directory, const std::string& person);

}  // namespace zorvid
