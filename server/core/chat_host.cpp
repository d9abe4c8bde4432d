#include "server/core/chat_host.h"

#include <algorithm>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/server_texts.h"

namespace zorvid {
namespace {

CMsg Reply(std::int32_t code2) { return CMsg(code1::kReply, code2); }

bool IsWebAddress(const std::string& address) {
    return address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

ChatHost::ChatHost(const ServerConfig& config, ChatPortProvider& ports, EventLog& log, Clock clock,
                   SharedRooms* shared, int home)
    : config_(config),
      ports_(ports),
      log_(log),
      clock_(std::move(clock)),
      ownShared_(shared ? nullptr : std::make_unique<SharedRooms>(config.loginLifetime)),
      shared_(shared ? *shared : *ownShared_),
      logins_(shared_.logins),
      directory_(shared_.directory),
      home_(home) {}

bool ChatHost::OpenPermanentRooms(int first, int of) {
    for (std::size_t i = static_cast<std::size_t>(first); i < config_.rooms.size();
         i += static_cast<std::size_t>(of)) {
        if (!OpenPermanentRoom(i)) return false;
    }
    return true;
}

bool ChatHost::OpenPermanentRoom(std::size_t index, int claimed) {
    const auto& rc = config_.rooms.at(index);
    if (RoomByName(rc.name)) return true;
    const int port = ports_.OpenChatPort(claimed);
    if (port < 0) {
        log_.Line("cannot open a chat port for room " + LogQuote(rc.name), {{"ROOM", rc.name}});
        return false;
    }
    Room* room = AddRoom(rc.name, rc.marker, true, port, index);
    room->liveShow = rc.liveShow;
    return true;
}

void ChatHost::NoteLogin(const std::string& name, const std::string& address) {
    logins_.Note(name, address, clock_());
}

Room* ChatHost::RoomByName(const std::string& name) {
    for (auto& r : rooms_) {
        if (r->name == name) return r.get();
    }
    return nullptr;
}

const Room* ChatHost::FindRoom(const std::string& name) const {
    return const_cast<ChatHost*>(this)->RoomByName(name);
}

Room* ChatHost::AddRoom(std::string name, char marker, bool permanent, int port,
                        std::uint64_t order, std::string owner) {
    auto room = std::make_unique<Room>();
    room->name = std::move(name);
    room->marker = marker;
    room->permanent = permanent;
    room->port = port;
    room->order = order;
    room->owner = std::move(owner);
    room->emptySince = clock_();
    Room* raw = room.get();
    rooms_.push_back(std::move(room));
    byPort_[port] = raw;
    Publish(*raw);
    log_.Line("room " + LogQuote(raw->name) + " open on chat port " + std::to_string(port),
              {{"ROOM", raw->name}});
    return raw;
}

void ChatHost::RemoveRoom(Room* room) {
    // Anyone still inside is told the connection ends.
    const auto members = room->members;
    for (const auto& m : members) {
        members_.erase(m.participant);
        SendTo(*m.participant, CMsg(code1::kReply, code2::kClosing));
        m.participant->Close();
    }
    ports_.CloseChatPort(room->port);
    byPort_.erase(room->port);
    directory_.Erase(room->name);
    log_.Line("room " + LogQuote(room->name) + " removed", {{"ROOM", room->name}});
    rooms_.erase(std::find_if(rooms_.begin(), rooms_.end(),
                              [room](const auto& r) { return r.get() == room; }));
}

std::vector<Participant*> ChatHost::Relinquish(const std::string& name) {
    Room* room = RoomByName(name);
    if (!room) return {};
    std::vector<Participant*> members;
    for (const auto& m : room->members) {
        members_.erase(m.participant);
        members.push_back(m.participant);
    }
    // The port and the directory's entry now belong to the room's new home.
    byPort_.erase(room->port);
    log_.Line("room " + LogQuote(room->name) + " passed to another node while this one was cut off",
              {{"ROOM", room->name}});
    rooms_.erase(std::find_if(rooms_.begin(), rooms_.end(),
                              [room](const auto& r) { return r.get() == room; }));
    return members;
}

void ChatHost::Publish(const Room& room) {
    RoomEntry entry;
    entry.name = room.name;
    entry.marker = room.marker;
    entry.permanent = room.permanent;
    entry.port = room.port;
    entry.owner = room.owner;
    entry.order = room.order;
    entry.home = home_;
    entry.node = shared_.node;
    entry.members.reserve(room.members.size());
    for (const auto& m : room.members) {
        entry.members.push_back(m.name);
        if (auto link = m.participant->Link()) entry.links.push_back(*link);
    }
    directory_.Put(entry);
}

void ChatHost::SendTo(Participant& who, const CMsg& msg) {
    scratch_.clear();
    zorvi::AppendMsg(msg, scratch_);
    who.Send(scratch_);
}

void ChatHost::Broadcast(Room& room, const CMsg& msg, const Participant* except) {
    scratch_.clear();
    zorvi::AppendMsg(msg, scratch_);  // encoded once for the whole room
    for (const auto& m : room.members) {
        if (m.participant != except) m.participant->Send(scratch_);
    }
}

bool ChatHost::OwnsByAddress(const Room& room, const std::string& address) const {
    if (room.owner.empty()) return false;
    if (!config_.requireLoginToJoin) return true;
    return logins_.IsLoggedIn(room.owner, address, clock_());
}

// ---------------------------------------------------------------- service requests

std::optional<CMsg> ChatHost::HandleService(const CMsg& request, const std::string& address,
                                            int claimedPort) {
    switch (request.code2) {
        case code2::kVersionCheck: {
            CMsg r = Reply(code2::kVersionCheck);
            r.number = request.number >= config_.minClientVersion ? 1 : 0;
            return r;
        }
        case code2::kChannelListRequest:
            return ChannelList();
        case code2::kRoomLookUp:
            return LookUp(request);
        case code2::kCreateRoom:
            return Create(request, address, claimedPort);
        case code2::kRemoveRoom:
            return Remove(request, address);
        case code2::kFindUser:
            return Find(request);
        case code2::kDeliverToUser:
            Deliver(request, address);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

CMsg ChatHost::ChannelList() const { return ChannelListReply(directory_); }

CMsg ChatHost::LookUp(const CMsg& request) const { return LookUpReply(directory_, request.text); }

CMsg ChatHost::Create(const CMsg& request, const std::string& address, int claimedPort) {
    const std::string& name = request.text;
    const std::string creator = request.list.empty() ? std::string() : request.list.front();
    if (creator.empty() ||
        (config_.requireLoginToJoin && !logins_.IsLoggedIn(creator, address, clock_()))) {
        log_.Line("room creation by " + LogQuote(creator) + " from " + address +
                      " refused: not logged in",
                  {{"NAME", creator}, {"ADDRESS", address}});
        return Reply(code2::kNoAnswer);
    }
    if (name.size() > config_.maxRoomNameBytes) {
        log_.Line("room creation refused: name too long");
        return Reply(
            code2::kRoomNameTaken);  // number 0: the client ends the command without a message
    }
    // Held in the directory until the room is in it, so no other loop creates it meanwhile.
    if (!directory_.Reserve(name)) {
        CMsg r = Reply(code2::kRoomNameTaken);
        r.number = 1;
        return r;
    }
    const int port = ports_.OpenChatPort(claimedPort);
    if (port < 0) {
        directory_.Unreserve(name);
        log_.Line("room creation refused: no free chat port");
        return Reply(code2::kNoAnswer);
    }
    const char marker = config_.createdRoomMarker.empty() ? ' ' : config_.createdRoomMarker[0];
    Room* room = AddRoom(name, marker, false, port, directory_.NextOrder(), creator);
    room->awaitingCreator = true;
    CMsg r = Reply(code2::kCreateRoom);
    r.number = port;
    return r;
}

CMsg ChatHost::Remove(const CMsg& request, const std::string& address) {
    CMsg r = Reply(code2::kRemoveRoom);
    Room* room = RoomByName(request.text);
    if (!room) {
        r.number = 1;  // already gone: what the owner wanted
        return r;
    }
    // Nobody owns a permanent room, so nobody may remove it.
    if (room->permanent || !OwnsByAddress(*room, address)) {
        log_.Line(
            "removal of " + LogQuote(room->name) + " from " + address + " refused: not its owner",
            {{"ROOM", room->name}, {"ADDRESS", address}});
        return r;
    }
    // The owner's farewell on the chat port may still be on its way: the owner counts as gone.
    if (RoomMember* self = room->Find(room->owner)) Depart(*self->participant, true);
    if (!room->members.empty()) {
        log_.Line("removal of " + LogQuote(room->name) + " refused: people are still in it",
                  {{"ROOM", room->name}});
        return r;
    }
    r.number = 1;
    RemoveRoom(room);
    return r;
}

CMsg ChatHost::Find(const CMsg& request) const { return FindReply(directory_, request.text); }

void ChatHost::Deliver(const CMsg& request, const std::string& address) {
    if (request.list.size() < 3) return;
    const std::string& sender = request.list[0];
    const std::string& target = request.list[1];
    if (config_.requireLoginToJoin && !logins_.IsLoggedIn(sender, address, clock_())) {
        log_.Line(
            "delivery from " + LogQuote(sender) + " at " + address + " refused: not logged in",
            {{"NAME", sender}, {"ADDRESS", address}});
        return;
    }
    for (const auto& room : rooms_) {
        if (!request.text.empty() && room->name != request.text) continue;
        if (RoomMember* m = room->Find(target)) {
            CMsg msg = Reply(code2::kPrivateMessage);
            msg.text = request.list[2];
            msg.list.push_back(sender);
            SendTo(*m->participant, msg);
            return;
        }
    }
}

// ---------------------------------------------------------------- chat connections

JoinAnswer ChatHost::Join(int port, const std::string& name, Participant& who) {
    auto it = byPort_.find(port);
    if (it == byPort_.end()) return JoinAnswer::NoRoom;
    Room& room = *it->second;
    const auto now = clock_();
    // No account has an empty name, and an empty name would match a room without owner.
    if (name.empty() ||
        (config_.requireLoginToJoin && !logins_.IsLoggedIn(name, who.PeerAddress(), now))) {
        log_.Line("join of " + LogQuote(name) + " from " + who.PeerAddress() + " to " +
                      LogQuote(room.name) + " refused: not logged in from there",
                  {{"NAME", name}, {"ROOM", room.name}, {"ADDRESS", who.PeerAddress()}});
        return JoinAnswer::NotLoggedIn;
    }
    if (room.members.size() >= static_cast<std::size_t>(config_.roomCapacity)) {
        who.Send(zorvi::EncodeBareString(zorvi::kJoinFull));
        return JoinAnswer::Full;
    }
    if (room.Contains(name)) {
        who.Send(zorvi::EncodeBareString(zorvi::kJoinNameExists));
        return JoinAnswer::NameExists;
    }
    who.Send(zorvi::EncodeBareString(texts::kJoinOk));

    // Permanent rooms belong to the service: nobody owns them, so nobody has to hand them
    // on before leaving. An empty created room belongs to whoever comes first, except that
    // a new room waits for its creator. The creator's client knows it owns its room; anyone
    // else entered as a member and is told below, as a hand-over from the service, so that
    // its buttons match what the others see.
    const bool takesEmptyRoom =
        !room.permanent && room.members.empty() && !(room.awaitingCreator && room.owner != name);
    const bool tellNewOwner = takesEmptyRoom && !room.awaitingCreator;
    if (takesEmptyRoom) room.owner = name;
    if (name == room.owner) room.awaitingCreator = false;

    for (const auto& m : room.members) {
        CMsg present = Reply(code2::kPersonEntered);
        present.text = m.name;
        present.number = m.name == room.owner ? 1 : 0;
        SendTo(who, present);
    }
    CMsg arrived = Reply(code2::kPersonEntered);
    arrived.text = name;
    arrived.number = name == room.owner ? 1 : 0;
    Broadcast(room, arrived, nullptr);

    room.members.push_back({name, &who});
    members_[&who] = Membership{&room, name};
    Publish(room);
    logins_.Touch(name, who.PeerAddress(), now);
    if (tellNewOwner) {
        CMsg granted = Reply(code2::kGiveOwnership);
        granted.list.emplace_back(texts::kServiceGiver);
        SendTo(who, granted);
        log_.Line(LogQuote(room.name) + " now owned by " + LogQuote(name) + ", first to enter it",
                  {{"ROOM", room.name}, {"NAME", name}});
    }

    if (!config_.portalOnJoin.empty()) {
        CMsg portal = Reply(code2::kPortalAddress);
        portal.text = config_.portalOnJoin;
        SendTo(who, portal);
    }
    if (!config_.serverListOnJoin.empty()) {
        CMsg servers = Reply(code2::kServerList);
        servers.list = config_.serverListOnJoin;
        SendTo(who, servers);
    }
    log_.Line(LogQuote(name) + " joined " + LogQuote(room.name) + " from " + who.PeerAddress(),
              {{"NAME", name}, {"ROOM", room.name}, {"ADDRESS", who.PeerAddress()}});
    return JoinAnswer::Ok;
}

void ChatHost::HandleChat(Participant& who, const CMsg& record) {
    auto it = members_.find(&who);
    if (it == members_.end()) {
        // After the leave notice only the farewell is expected.
        if (record.code2 == code2::kClosing) who.Close();
        return;
    }
    Membership& m = it->second;
    switch (record.code2) {
        case code2::kChatLine:
            Line(m, record);
            break;
        case code2::kPrivateMessage:
            PrivateMessage(m, record);
            break;
        case code2::kBeep:
            Beep(m, record);
            break;
        case code2::kLeave:
            Depart(who, false);
            break;
        case code2::kClosing:
            Depart(who, true);
            break;
        case code2::kKick:
            Kick(m, record);
            break;
        case code2::kGiveOwnership:
            GiveOwnership(m, record);
            break;
        case code2::kSoundEffect:
        case code2::kImageEffect:
            Effect(m, record);
            break;
        case code2::kLiveShowRequest:
            LiveShow(who, m);
            break;
        default:
            break;
    }
}

void ChatHost::Line(Membership& m, const CMsg& record) {
    // A line must carry its sender's own name: nobody speaks for somebody else.
    if (!StartsWith(record.text, m.name + std::string(texts::kLineSeparator))) {
        log_.Line("line from " + LogQuote(m.name) + " dropped: it names another sender",
                  {{"NAME", m.name}, {"ROOM", m.room->name}});
        return;
    }
    CMsg out = Reply(code2::kChatLine);
    out.list.push_back(record.text);
    Broadcast(*m.room, out, nullptr);
}

void ChatHost::PrivateMessage(Membership& m, const CMsg& record) {
    if (record.list.empty()) return;
    RoomMember* to = m.room->Find(record.list.front());
    if (!to) return;
    CMsg out = Reply(code2::kPrivateMessage);
    out.text = record.text;
    out.list.push_back(m.name);
    SendTo(*to->participant, out);
}

void ChatHost::Beep(Membership& m, const CMsg& record) {
    RoomMember* to = m.room->Find(record.text);
    if (!to) return;
    CMsg out = Reply(code2::kBeep);
    out.list.push_back(m.name + std::string(texts::kBeepSuffix));
    SendTo(*to->participant, out);
}

void ChatHost::Kick(Membership& m, const CMsg& record) {
    Room& room = *m.room;
    RoomMember* target = room.Find(record.text);
    if (m.name != room.owner || !target || record.text == m.name) {
        log_.Line("kick of " + LogQuote(record.text) + " by " + LogQuote(m.name) + " refused",
                  {{"TARGET", record.text}, {"NAME", m.name}, {"ROOM", room.name}});
        return;
    }
    Participant& kicked = *target->participant;
    CMsg notice = Reply(code2::kBeep);
    notice.list.push_back(std::string(texts::kKickedPrefix) + m.name +
                          std::string(texts::kKickedSuffix));
    SendTo(kicked, notice);
    SendTo(kicked, CMsg(code1::kReply, code2::kClosing));
    log_.Line(
        LogQuote(record.text) + " kicked out of " + LogQuote(room.name) + " by " + LogQuote(m.name),
        {{"TARGET", record.text}, {"ROOM", room.name}, {"NAME", m.name}});
    Depart(kicked, true);
}

void ChatHost::GiveOwnership(Membership& m, const CMsg& record) {
    Room& room = *m.room;
    if (m.name != room.owner || record.text == m.name || !room.Contains(record.text)) {
        log_.Line(
            "ownership of " + LogQuote(room.name) + " to " + LogQuote(record.text) + " refused",
            {{"ROOM", room.name}, {"TARGET", record.text}, {"NAME", m.name}});
        return;
    }
    PassOwnership(room, m.name, record.text);
}

void ChatHost::PassOwnership(Room& room, const std::string& giver, const std::string& newOwner) {
    room.owner = newOwner;
    Publish(room);
    RoomMember* to = room.Find(newOwner);
    CMsg granted = Reply(code2::kGiveOwnership);
    granted.list.push_back(giver);
    SendTo(*to->participant, granted);
    CMsg changed = Reply(code2::kOwnerChanged);
    changed.list.push_back(newOwner);
    Broadcast(room, changed, to->participant);
    log_.Line(LogQuote(room.name) + " now owned by " + LogQuote(newOwner),
              {{"ROOM", room.name}, {"NAME", newOwner}});
}

void ChatHost::Effect(Membership& m, const CMsg& record) {
    Room& room = *m.room;
    if (m.name != room.owner || !IsWebAddress(record.text)) {
        log_.Line("effect from " + LogQuote(m.name) + " refused",
                  {{"NAME", m.name}, {"ROOM", room.name}});
        return;
    }
    CMsg out = Reply(record.code2);
    out.text = record.text;
    out.list.push_back(m.name);
    if (record.number == 1) {
        if (record.list.size() < 2) return;
        if (RoomMember* to = room.Find(record.list[1])) SendTo(*to->participant, out);
        return;
    }
    Participant* self = room.Find(m.name)->participant;
    Broadcast(room, out, self);
}

void ChatHost::LiveShow(Participant& who, Membership& m) {
    const Room& room = *m.room;
    if (room.marker != '+' || room.liveShow.address.empty()) return;
    CMsg out = Reply(room.liveShow.code2);
    out.text = room.liveShow.address;
    if (room.liveShow.code2 == code2::kLiveShowPlaylist && !room.liveShow.base.empty()) {
        out.list.push_back(room.liveShow.base);
        if (!room.liveShow.abstract.empty()) out.list.push_back(room.liveShow.abstract);
    }
    SendTo(who, out);
}

void ChatHost::Depart(Participant& who, bool close) {
    auto it = members_.find(&who);
    if (it == members_.end()) {
        if (close) who.Close();
        return;
    }
    Room& room = *it->second.room;
    const std::string name = it->second.name;
    members_.erase(it);
    room.members.erase(std::find_if(room.members.begin(), room.members.end(),
                                    [&who](const RoomMember& m) { return m.participant == &who; }));
    logins_.Touch(name, who.PeerAddress(), clock_());
    if (close) who.Close();
    Publish(room);

    CMsg left = Reply(code2::kPersonLeft);
    left.text = name;
    Broadcast(room, left, nullptr);
    log_.Line(LogQuote(name) + " left " + LogQuote(room.name),
              {{"NAME", name}, {"ROOM", room.name}});

    if (room.members.empty()) {
        room.emptySince = clock_();
    } else if (name == room.owner) {
        PassOwnership(room, name, room.members.front().name);
    }
}

void ChatHost::Drop(Participant& who) { Depart(who, false); }

void ChatHost::Adopt(const RoomEntry& entry, const std::vector<Participant*>& members,
                     const std::vector<Participant*>& gone) {
    Room* room =
        AddRoom(entry.name, entry.marker, entry.permanent, entry.port, entry.order, entry.owner);
    for (const auto& rc : config_.rooms) {
        if (rc.name == entry.name) room->liveShow = rc.liveShow;
    }
    for (std::size_t i = 0; i < members.size() && i < entry.members.size(); ++i) {
        room->members.push_back({entry.members[i], members[i]});
        members_[members[i]] = Membership{room, entry.members[i]};
    }
    Publish(*room);
    log_.Line("took over " + LogQuote(room->name) + " with " +
                  std::to_string(room->members.size()) + " people",
              {{"ROOM", room->name}});
    for (Participant* p : gone) Depart(*p, false);
}

void ChatHost::Sweep() {
    const auto now = clock_();
    logins_.Expire(now);
    std::vector<Room*> expired;
    for (const auto& room : rooms_) {
        if (!room->permanent && room->members.empty() &&
            now - room->emptySince >= config_.emptyRoomGrace) {
            expired.push_back(room.get());
        }
    }
    for (Room* room : expired) RemoveRoom(room);
}

void ChatHost::CloseAll() {
    for (const auto& room : rooms_) {
        const auto members = room->members;
        room->members.clear();
        Publish(*room);
        for (const auto& m : members) {
            members_.erase(m.participant);
            SendTo(*m.participant, CMsg(code1::kReply, code2::kClosing));
            m.participant->Close();
        }
    }
}

}  // namespace zorvid
