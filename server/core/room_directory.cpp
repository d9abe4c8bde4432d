#include "server/core/room_directory.h"

#include <algorithm>

#include "net/protocol.h"

namespace zorvid {

bool RoomDirectory::Reserve(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (byName_.count(name) || reserved_.count(name)) return false;
    reserved_[name] = true;
    return true;
}

void RoomDirectory::Unreserve(const std::string& name) {
    std::lock_guard lock(mutex_);
    reserved_.erase(name);
}

void RoomDirectory::Put(const RoomEntry& entry) {
    {
        std::lock_guard lock(mutex_);
        reserved_.erase(entry.name);
        auto [it, added] = byName_.insert_or_assign(entry.name, entry);
        if (added) order_[entry.order] = entry.name;
        byPort_[entry.port] = entry.name;
    }
    if (listener_) listener_(&entry, entry.name);
}

void RoomDirectory::Erase(const std::string& name) {
    {
        std::lock_guard lock(mutex_);
        auto it = byName_.find(name);
        if (it == byName_.end()) return;
        order_.erase(it->second.order);
        auto port = byPort_.find(it->second.port);
        if (port != byPort_.end() && port->second == name) byPort_.erase(port);
        byName_.erase(it);
    }
    if (listener_) listener_(nullptr, name);
}

std::optional<RoomEntry> RoomDirectory::ByName(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = byName_.find(name);
    if (it == byName_.end()) return std::nullopt;
    return it->second;
}

std::optional<RoomEntry> RoomDirectory::ByPort(int port) const {
    std::lock_guard lock(mutex_);
    auto it = byPort_.find(port);
    if (it == byPort_.end()) return std::nullopt;
    return byName_.at(it->second);
}

std::optional<RoomEntry> RoomDirectory::Locate(const std::string& person,
                                               const std::string& room) const {
    std::lock_guard lock(mutex_);
    for (const auto& [order, name] : order_) {
        const RoomEntry& e = byName_.at(name);
        if (!room.empty() && e.name != room) continue;
        if (std::find(e.members.begin(), e.members.end(), person) != e.members.end()) return e;
    }
    return std::nullopt;
}

std::vector<RoomEntry> RoomDirectory::All() const {
    std::lock_guard lock(mutex_);
    std::vector<RoomEntry> all;
    all.reserve(order_.size());
    for (const auto& [order, name] : order_) all.push_back(byName_.at(name));
    return all;
}

std::vector<RoomEntry> RoomDirectory::OnNode(const std::string& node) const {
    std::lock_guard lock(mutex_);
    std::vector<RoomEntry> rooms;
    for (const auto& [name, entry] : byName_) {
        if (entry.node == node) rooms.push_back(entry);
    }
    return rooms;
}

std::uint64_t RoomDirectory::NextOrder() {
    std::lock_guard lock(mutex_);
    return nextOrder_++;
}

std::size_t RoomDirectory::Size() const {
    std::lock_guard lock(mutex_);
    return byName_.size();
}

CMsg ChannelListReply(const RoomDirectory& directory) {
    CMsg r(code1::kReply, code2::kChannelList);
    for (const auto& room : directory.All()) {
        r.list.push_back(std::string(1, room.marker) + room.name);
        r.array.push_back(static_cast<std::int32_t>(room.members.size()));
    }
    return r;
}

CMsg LookUpReply(const RoomDirectory& directory, const std::string& name) {
    const auto room = directory.ByName(name);
    if (!room) return CMsg(code1::kReply, code2::kNoAnswer);
    CMsg r(code1::kReply, code2::kRoomLookUp);
    r.text = room->owner;
    r.array.push_back(room->port);
    return r;
}

CMsg FindReply(const RoomDirectory& directory, const std::string& person) {
    CMsg r(code1::kReply, code2::kFindUser);
    if (const auto room = directory.Locate(person)) {
        r.number = 1;
        r.text = room->name;
    }
    return r;
}

}  // namespace zorvid
