#include "server/core/room_directory.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "net/protocol.h"

namespace zorvid {

bool RoomDirectory::Reserve(const std::string& name) {
    std::lock_guard lock(mutex_);
    if (byName_.count(name) || reserved_.count(name)) return false;
    reserved_.insert(name);
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
        if (auto old = byName_.find(entry.name); old != byName_.end())
            order_.erase({old->second.order, entry.name});
        byName_.insert_or_assign(entry.name, entry);
        order_.emplace(entry.order, entry.name);
        byPort_[entry.port] = entry.name;
    }
    if (listener_) listener_(&entry, entry.name);
}

void RoomDirectory::Erase(const std::string& name) {
    {
        std::lock_guard lock(mutex_);
        auto it = byName_.find(name);
        if (it == byName_.end()) return;
        order_.erase({it->second.order, name});
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

std::string EncodeEntry(const RoomEntry& e) {
    nlohmann::json links = nlohmann::json::array();
    for (const auto& l : e.links) links.push_back({l.node, l.loop, l.conn});
    return nlohmann::json{{"name", e.name},           {"marker", std::string(1, e.marker)},
                          {"permanent", e.permanent}, {"port", e.port},
                          {"owner", e.owner},         {"members", e.members},
                          {"order", e.order},         {"home", e.home},
                          {"node", e.node},           {"links", links}}
        .dump();
}

std::optional<RoomEntry> DecodeEntry(std::string_view text) {
    try {
        const auto j = nlohmann::json::parse(text);
        RoomEntry e;
        e.name = j.at("name").get<std::string>();
        const auto marker = j.at("marker").get<std::string>();
        e.marker = marker.empty() ? ' ' : marker[0];
        e.permanent = j.at("permanent").get<bool>();
        e.port = j.at("port").get<int>();
        e.owner = j.at("owner").get<std::string>();
        e.members = j.at("members").get<std::vector<std::string>>();
        e.order = j.at("order").get<std::uint64_t>();
        e.home = j.at("home").get<int>();
        e.node = j.at("node").get<std::string>();
        for (const auto& l : j.at("links")) {
            e.links.push_back(
                {l.at(0).get<std::string>(), l.at(1).get<int>(), l.at(2).get<std::uint64_t>()});
        }
        if (e.home < 0 || e.links.size() > e.members.size()) return std::nullopt;
        return e;
    } catch (const std::exception&) {
        return std::nullopt;
    }
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
