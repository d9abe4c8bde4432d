// The parts of the service's loops that only a node of a cluster uses: chat connections
// relayed to their room's node, and rooms serving members whose connections are elsewhere.
#include <set>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/protocol_connections.h"
#include "server/core/zorvi_server.h"

namespace zorvid {

bool ServerLoop::Clustered() const { return server_.link_ != nullptr; }

bool ServerLoop::RelayJoin(ChatConnection& c, int port, const std::string& name) {
    const auto room = server_.rooms_.directory.ByPort(port);
    if (!room) return false;
    const std::uint64_t number = ++nextRelayed_;
    c.SetRelayNumber(number);
    relayed_[number] = std::static_pointer_cast<ChatConnection>(c.shared_from_this());
    Frame f;
    f.kind = FrameKind::Join;
    f.from = {server_.rooms_.node, index_, number};
    f.port = port;
    f.text = name;
    f.address = c.Address();
    server_.link_->Send(index_, room->node, room->home, f);
    return true;
}

void ServerLoop::RelayInput(ChatConnection& c, std::string_view records) {
    // Looked up each time: when a node is gone, its rooms move to another.
    const auto room = server_.rooms_.directory.ByPort(c.Port());
    if (!room) {
        c.Abort("the room is gone");
        return;
    }
    Frame f;
    f.kind = FrameKind::Input;
    f.from = {server_.rooms_.node, index_, c.RelayNumber()};
    f.port = c.Port();
    f.bytes.assign(records);
    server_.link_->Send(index_, room->node, room->home, f);
}

void ServerLoop::RelayGone(ChatConnection& c) {
    relayed_.erase(c.RelayNumber());
    const auto room = server_.rooms_.directory.ByPort(c.Port());
    if (!room) return;
    Frame f;
    f.kind = FrameKind::Gone;
    f.from = {server_.rooms_.node, index_, c.RelayNumber()};
    f.port = c.Port();
    server_.link_->Send(index_, room->node, room->home, f);
}

RemoteParticipant& ServerLoop::AddRemote(const RelayAddress& at, std::string address, int port) {
    auto remote = std::make_unique<RemoteParticipant>(
        at, std::move(address), port, [this](const RelayAddress& to, Frame f) {
            if (f.kind != FrameKind::Output) remotesClosed_ = true;
            server_.link_->Send(index_, to.node, to.loop, f);
        });
    auto& slot = remotes_[RemoteKey{at.node, at.loop, at.conn}];
    if (slot) host_.Drop(*slot);  // a number used twice: the node restarted
    slot = std::move(remote);
    return *slot;
}

void ServerLoop::ForgetClosedRemotes() {
    if (!remotesClosed_) return;
    remotesClosed_ = false;
    for (auto it = remotes_.begin(); it != remotes_.end();) {
        const bool gone = it->second->Closed() && !host_.IsMember(*it->second);
        it = gone ? remotes_.erase(it) : std::next(it);
    }
}

void ServerLoop::TakeFrames(std::string_view message) {
    const auto frames = DecodeFrames(message);
    if (!frames) {
        server_.log_.Line("malformed message from another node dropped");
        return;
    }
    for (const Frame& f : *frames) {
        switch (f.kind) {
            case FrameKind::Join: {
                RemoteParticipant& who = AddRemote(f.from, f.address, f.port);
                switch (host_.Join(f.port, f.text, who)) {
                    case JoinAnswer::Ok:
                        break;
                    case JoinAnswer::Full:
                    case JoinAnswer::NameExists:
                        who.Close();
                        break;
                    case JoinAnswer::NotLoggedIn:
                    case JoinAnswer::NoRoom:
                        who.Abort();
                        break;
                }
                break;
            }
            case FrameKind::Input: {
                auto it = remotes_.find(RemoteKey{f.from.node, f.from.loop, f.from.conn});
                if (it == remotes_.end()) break;
                RemoteParticipant& who = *it->second;
                std::string_view rest = f.bytes;
                CMsg msg;
                while (!rest.empty() && !who.Closed()) {
                    const auto r = zorvi::DecodeMsg(rest, msg);
                    if (r.status != zorvi::DecodeStatus::Complete) break;
                    rest.remove_prefix(r.consumed);
                    host_.HandleChat(who, msg);
                }
                break;
            }
            case FrameKind::Gone: {
                auto it = remotes_.find(RemoteKey{f.from.node, f.from.loop, f.from.conn});
                if (it == remotes_.end()) break;
                host_.Drop(*it->second);
                remotes_.erase(it);
                break;
            }
            case FrameKind::Room: {
                // Before anything the new home says to this node's people: their input goes
                // there from now on.
                auto entry = DecodeEntry(f.bytes);
                if (entry && entry->node != server_.rooms_.node)
                    server_.rooms_.directory.Put(*entry);
                break;
            }
            case FrameKind::Output:
            case FrameKind::Close:
            case FrameKind::Abort: {
                auto it = relayed_.find(f.from.conn);
                auto c = it == relayed_.end() ? nullptr : it->second.lock();
                if (!c) break;
                if (f.kind == FrameKind::Output) {
                    c->Queue(f.bytes);
                } else if (f.kind == FrameKind::Close) {
                    c->CloseAfterFlush();
                } else {
                    c->Abort("join refused by the room's node");
                }
                break;
            }
        }
        ForgetClosedRemotes();
    }
}

void ServerLoop::DropNode(const std::string& node) {
    for (auto it = remotes_.begin(); it != remotes_.end();) {
        if (std::get<0>(it->first) == node) {
            host_.Drop(*it->second);
            it = remotes_.erase(it);
        } else {
            ++it;
        }
    }
}

void ServerLoop::Adopt(const RoomEntry& entry,
                       const std::function<bool(const std::string&)>& alive) {
    if (host_.FindRoom(entry.name)) return;
    std::vector<Participant*> members, gone;
    for (std::size_t i = 0; i < entry.members.size() && i < entry.links.size(); ++i) {
        RemoteParticipant& who = AddRemote(entry.links[i], {}, entry.port);
        members.push_back(&who);
        if (!alive(entry.links[i].node)) gone.push_back(&who);
    }
    RoomEntry here = entry;
    here.members.resize(members.size());
    here.node = server_.rooms_.node;
    here.home = index_;
    // Every node holding a member hears of the new home before any output from it, on the
    // same way: the entry on the bus could come after, and input sent meanwhile would go to
    // the old home.
    std::set<std::pair<std::string, int>> told;
    for (std::size_t i = 0; i < members.size(); ++i) {
        const RelayAddress& at = entry.links[i];
        if (!alive(at.node) || at.node == server_.rooms_.node) continue;
        if (!told.insert({at.node, at.loop}).second) continue;
        Frame f;
        f.kind = FrameKind::Room;
        f.from = at;
        f.port = entry.port;
        f.bytes = EncodeEntry(here);
        server_.link_->Send(index_, at.node, at.loop, f);
    }
    host_.Adopt(here, members, gone);
    for (Participant* p : gone) {
        auto* remote = static_cast<RemoteParticipant*>(p);
        const auto& at = remote->At();
        remotes_.erase(RemoteKey{at.node, at.loop, at.conn});
    }
}

void ServerLoop::Relinquish(const std::string& name) {
    for (Participant* p : host_.Relinquish(name)) {
        const auto at = p->Link();
        if (!at) continue;
        auto it = remotes_.find(RemoteKey{at->node, at->loop, at->conn});
        if (it == remotes_.end()) continue;
        if (at->node == server_.rooms_.node) it->second->Abort();
        remotes_.erase(it);
    }
}

void ServerLoop::CutRelayedTo(const std::string& node) {
    std::vector<std::shared_ptr<ChatConnection>> cut;  // ending one changes relayed_
    for (const auto& [number, weak] : relayed_) {
        auto c = weak.lock();
        if (!c) continue;
        const auto room = server_.rooms_.directory.ByPort(c->Port());
        if (room && room->node == node) cut.push_back(std::move(c));
    }
    for (auto& c : cut) c->Abort("dropped by the room's node while this one was away");
}

void ZorviServer::UseCluster(ClusterLink& link, const std::string& nodeId) {
    link_ = &link;
    rooms_.node = nodeId;
}

int ZorviServer::PermanentPort(std::size_t index) const {
    return config_.chatPortFirst + static_cast<int>(index);
}

void ZorviServer::HostPermanentRoom(std::size_t index) {
    ServerLoop& loop = Loop(static_cast<int>(index % loops_.size()));
    asio::post(loop.Io(), [this, &loop, index] {
        if (!stopping_) loop.host_.OpenPermanentRoom(index, PermanentPort(index));
    });
}

void ZorviServer::Answer(ServerLoop& from, std::function<void(std::optional<CMsg>)> done,
                         std::optional<CMsg> reply) {
    asio::post(from.Io(), [done = std::move(done), reply = std::move(reply)]() mutable {
        done(std::move(reply));
    });
}

void ZorviServer::ServeClustered(ServerLoop& from, const CMsg& request, const std::string& address,
                                 std::function<void(std::optional<CMsg>)> done, bool forwarded) {
    // Creation claims the name and a port for the whole cluster first (on a worker: the
    // database may be slow), then opens the room on a loop of this node; its news reaches
    // every node before the creator hears the port.
    if (request.code2 == code2::kCreateRoom) {
        const int home = NextRoomLoop();
        PostToWorker([this, &from, home, request, address, done = std::move(done)]() mutable {
            int port = -1;
            const auto claim = link_->ClaimRoom(request.text, port);
            if (claim != ClusterLink::Claim::Ok) {
                CMsg r(code1::kReply, claim == ClusterLink::Claim::Taken ? code2::kRoomNameTaken
                                                                         : code2::kNoAnswer);
                if (claim == ClusterLink::Claim::Taken) r.number = 1;
                Answer(from, std::move(done), r);
                return;
            }
            ServerLoop& to = Loop(home);
            asio::post(to.Io(), [this, &from, &to, request, address, port,
                                 done = std::move(done)]() mutable {
                auto reply = to.Host().HandleService(request, address, port);
                const bool made = reply && reply->code2 == code2::kCreateRoom;
                PostToWorker([this, &from, made, name = request.text, reply = std::move(reply),
                              done = std::move(done)]() mutable {
                    if (!made) {
                        link_->ReleaseRoom(name);
                    } else if (!link_->Flush()) {
                        Log("room " + LogQuote(name) + " created, but not every node heard it yet");
                    }
                    Answer(from, std::move(done), std::move(reply));
                });
            });
        });
        return;
    }
    // A removal or a delivery is answered by the room's node.
    std::optional<RoomEntry> room;
    if (request.code2 == code2::kRemoveRoom) room = rooms_.directory.ByName(request.text);
    if (request.code2 == code2::kDeliverToUser && request.list.size() >= 2)
        room = rooms_.directory.Locate(request.list[1], request.text);
    if (forwarded && room && room->node != rooms_.node) {
        // Sent here by a node whose news is older than ours: not passed on again.
        std::optional<CMsg> reply;
        if (request.code2 == code2::kRemoveRoom) reply = CMsg(code1::kReply, code2::kRemoveRoom);
        Answer(from, std::move(done), std::move(reply));
        return;
    }
    if (!room || room->node == rooms_.node) {
        const int home = room ? room->home : from.Index();
        ServerLoop& to = Loop(home);
        asio::post(to.Io(), [&from, &to, request, address, done = std::move(done)]() mutable {
            Answer(from, std::move(done), to.Host().HandleService(request, address));
        });
        return;
    }
    const bool wantReply = request.code2 == code2::kRemoveRoom;
    PostToWorker([this, &from, node = room->node, request, address, wantReply,
                  done = std::move(done)]() mutable {
        auto answer = link_->Forward(node, request, address, wantReply);
        std::optional<CMsg> reply;
        if (answer) {
            reply = std::move(*answer);
        } else if (wantReply) {
            reply = CMsg(code1::kReply, code2::kRemoveRoom);  // number 0: not removed
            Log("removal of " + LogQuote(request.text) + " not answered by its node");
        }
        Answer(from, std::move(done), std::move(reply));
    });
}

}  // namespace zorvid
