#include "server/cluster/node/cluster_node.h"

#include <future>
#include <nlohmann/json.hpp>

#include "net/codec.h"
#include "net/protocol.h"

namespace zorvid::cluster {
namespace {

using Json = nlohmann::json;
using Ms = std::chrono::milliseconds;

constexpr std::string_view kRooms = "zorvi.rooms";
constexpr std::string_view kRoomsSync = "zorvi.rooms.sync";
constexpr std::string_view kLogins = "zorvi.login";
// "zorvi.dropped.NODE": NODE was taken as gone by the sender, which dropped its people.
constexpr std::string_view kDroppedPrefix = "zorvi.dropped.";
// Nodes taken as gone that are remembered, to tell them so should they come back.
constexpr std::size_t kMaxLostRemembered = 1024;
// A bus round trip or request that takes longer than this counts as failed.
constexpr Ms kBusTimeout(2000);
// Frames for one place are sent once they reach this size, not only at the end of the turn.
constexpr std::size_t kOutboxFlushBytes = 256 * 1024;

std::string LoopSubject(const std::string& node, int loop) {
    return "zorvi.loop." + node + "." + std::to_string(loop);
}

std::string ServeSubject(const std::string& node) { return "zorvi.serve." + node; }

}  // namespace

ClusterNode::ClusterNode(ZorviServer& server, NatsBus& bus, PgRoomLedger& ledger,
                         PgLoginBook& logins, EventLog& log, Ms nodeTimeout)
    : server_(server),
      bus_(bus),
      ledger_(ledger),
      logins_(logins),
      log_(log),
      self_(bus.NodeId()),
      nodeTimeout_(nodeTimeout),
      outboxes_(static_cast<std::size_t>(server.LoopCount())),
      ledgerChecks_(asio::make_strand(server.Workers())) {
    keepRunning_.emplace(asio::make_work_guard(io_));
    thread_ = std::thread([this] { io_.run(); });
    server_.Rooms().directory.SetListener(
        [this](const RoomEntry* entry, const std::string& name) { PublishRoom(entry, name); });
}

ClusterNode::~ClusterNode() {
    Leave();
    keepRunning_.reset();
    io_.stop();
    if (thread_.joinable()) thread_.join();
}

void ClusterNode::Join() {
    for (int i = 0; i < server_.LoopCount(); ++i) {
        ServerLoop& loop = server_.Loop(i);
        subscriptions_.push_back(
            bus_.Subscribe(LoopSubject(self_, i), loop.Io(), [this, &loop](const BusMessage& m) {
                if (!leaving_) loop.TakeFrames(m.data);
            }));
    }
    subscriptions_.push_back(
        bus_.Subscribe(kRooms, io_, [this](const BusMessage& m) { OnRooms(m); }));
    subscriptions_.push_back(
        bus_.Subscribe(kRoomsSync, io_, [this](const BusMessage&) { RepublishRooms(); }));
    subscriptions_.push_back(bus_.Subscribe(kLogins, io_, [this](const BusMessage& m) {
        const auto split = m.data.find('\0');
        if (split == std::string::npos) return;
        server_.Rooms().logins.Note(m.data.substr(0, split), m.data.substr(split + 1),
                                    server_.Now());
    }));
    subscriptions_.push_back(
        bus_.Subscribe(ServeSubject(self_), io_, [this](const BusMessage& m) { OnServe(m); }));
    subscriptions_.push_back(bus_.Subscribe(std::string(kDroppedPrefix) + self_, io_,
                                            [this](const BusMessage& m) { OnDropped(m); }));

    // The watch lives on the cluster's loop.
    OnClusterLoop("start the heartbeats", [this] {
        NodeWatch::Settings settings;
        settings.timeout = nodeTimeout_;
        NodeWatch::Events events;
        events.joined = [this](const std::string& id) {
            bool back = false;
            {
                std::lock_guard lock(liveMutex_);
                live_.insert(id);
                back = lost_.erase(id) > 0;
            }
            if (!back) return;
            // A node heard again after it was taken as gone learns that its people left the
            // rooms living here, and which of its own rooms live here now.
            bus_.Publish(std::string(kDroppedPrefix) + id, self_);
            RepublishRooms();
        };
        events.lost = [this](const std::string& id) { OnLost(id); };
        watch_ = std::make_unique<NodeWatch>(bus_, io_, settings, events);
    });

    bus_.Publish(kRoomsSync, {});
    try {
        const auto lifetime = server_.Config().loginLifetime;
        for (const auto& l : logins_.RecentLogins(lifetime))
            server_.Rooms().logins.Note(l.name, l.address, server_.Now() - l.age);
    } catch (const std::exception& e) {
        log_.Line(std::string("the logins of the other nodes are not known: ") + e.what());
    }
    asio::post(io_, [this] { ForgetOldLogins(); });
    // Two heartbeats: the live nodes and their rooms are known before the permanent rooms
    // are placed.
    std::this_thread::sleep_for(Ms(2200));
    OpenPermanentRooms();
    log_.Line("cluster node " + self_ + " joined");
}

void ClusterNode::ForgetOldLogins() {
    server_.PostToWorker([this] {
        try {
            logins_.Forget(server_.Config().loginLifetime);
        } catch (const std::exception& e) {
            log_.Line(std::string("old logins not forgotten: ") + e.what());
        }
    });
    forgetTimer_.expires_after(std::chrono::hours(1));
    forgetTimer_.async_wait([this](asio::error_code ec) {
        if (!ec) ForgetOldLogins();
    });
}

void ClusterNode::Leave() {
    leaving_ = true;
    if (!watch_) return;
    OnClusterLoop("say goodbye", [this] {
        forgetTimer_.cancel();
        watch_.reset();
    });
}

void ClusterNode::OnClusterLoop(const char* what, std::function<void()> job) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    asio::post(io_, [job = std::move(job), done] {
        job();
        done->set_value();
    });
    if (finished.wait_for(kBusTimeout) != std::future_status::ready)
        log_.Line(std::string("the cluster's loop did not ") + what + " in time");
}

void ClusterNode::OpenPermanentRooms() {
    const auto& rooms = server_.Config().rooms;
    for (std::size_t i = 0; i < rooms.size(); ++i) {
        if (server_.Rooms().directory.ByName(rooms[i].name)) continue;
        const int port = server_.PermanentPort(i);
        try {
            auto claim = ledger_.Claim(rooms[i].name, port, port, self_);
            if (claim.outcome == PgRoomLedger::Outcome::Claimed ||
                TakeOverFromTheDead(rooms[i].name)) {
                server_.HostPermanentRoom(i);
            }
        } catch (const std::exception& e) {
            log_.Line("permanent room " + LogQuote(rooms[i].name) + " not placed: " + e.what());
        }
    }
}

bool ClusterNode::Alive(const std::string& node) const {
    if (node == self_) return true;
    std::lock_guard lock(liveMutex_);
    return live_.count(node) != 0;
}

std::optional<int> ClusterNode::TakeOverFromTheDead(const std::string& name) {
    for (const auto& row : ledger_.Rooms()) {
        if (row.name != name) continue;
        if (Alive(row.home) || !ledger_.TakeOver(name, row.home, self_)) return std::nullopt;
        return row.port;
    }
    return std::nullopt;
}

void ClusterNode::Send(int fromLoop, const std::string& node, int toLoop, const Frame& frame) {
    Outbox& box = outboxes_[static_cast<std::size_t>(fromLoop)];
    std::string& bytes = box.byPlace[{node, toLoop}];
    AppendFrame(frame, bytes);
    if (box.flushPosted && bytes.size() < kOutboxFlushBytes) return;
    if (box.flushPosted) {
        FlushOutbox(fromLoop);  // a big turn: what is gathered leaves now, in order
        return;
    }
    box.flushPosted = true;
    asio::post(server_.Loop(fromLoop).Io(), [this, fromLoop] { FlushOutbox(fromLoop); });
}

void ClusterNode::FlushOutbox(int loop) {
    Outbox& box = outboxes_[static_cast<std::size_t>(loop)];
    box.flushPosted = false;
    for (auto& [place, bytes] : box.byPlace) {
        if (bytes.empty()) continue;
        if (place.first == self_ && leaving_) {
            bytes.clear();  // the rooms living here are another node's now
            continue;
        }
        if (place.first == self_) {
            // Between the loops of this node the frames need no bus; a loop's posts to
            // another arrive in order, as the bus's would.
            ServerLoop& to = server_.Loop(place.second);
            asio::post(to.Io(), [&to, frames = std::move(bytes)] { to.TakeFrames(frames); });
            bytes = std::string();
            continue;
        }
        if (!bus_.Publish(LoopSubject(place.first, place.second), bytes))
            log_.Line("frames for node " + place.first + " dropped: the bus is not taking them");
        bytes.clear();
    }
}

void ClusterNode::PublishRoom(const RoomEntry* entry, const std::string& name) {
    if (entry && entry->node != self_) return;  // news from another node, not ours to tell
    bus_.Publish(kRooms,
                 entry ? EncodeEntry(*entry) : Json{{"gone", name}, {"node", self_}}.dump());
}

void ClusterNode::RepublishRooms() {
    for (const auto& entry : server_.Rooms().directory.OnNode(self_))
        PublishRoom(&entry, entry.name);
}

void ClusterNode::OnRooms(const BusMessage& m) {
    RoomNews news;
    try {
        const Json j = Json::parse(m.data);
        if (j.contains("gone")) {
            news.gone = j.at("gone").get<std::string>();
            news.node = j.at("node").get<std::string>();
        } else {
            auto entry = DecodeEntry(m.data);
            if (!entry) throw std::runtime_error("not a room's entry");
            news.node = entry->node;
            news.entry = std::move(*entry);
        }
    } catch (const std::exception& e) {
        log_.Line(std::string("bad room news from another node dropped: ") + e.what());
        return;
    }
    if (news.node == self_) return;
    // News that contradicts the directory waits for the ledger, and while any does, all
    // news queues behind it, so that a room's entries are taken in the order they came.
    if (settling_ == 0 && !Disputed(news)) {
        TakeRoomNews(news);
        return;
    }
    ++settling_;
    asio::post(ledgerChecks_, [this, news = std::move(news)] {
        if (!Disputed(news) || HomeInLedger(news)) TakeRoomNews(news);
        --settling_;
    });
}

bool ClusterNode::Disputed(const RoomNews& news) const {
    if (!news.entry) return false;
    const auto current = server_.Rooms().directory.ByName(news.entry->name);
    return current && current->node != news.node;
}

bool ClusterNode::HomeInLedger(const RoomNews& news) {
    const std::string& name = news.entry->name;
    try {
        if (ledger_.HomeOf(name) != news.node) return false;  // a node that lost the room
    } catch (const std::exception& e) {
        log_.Line("room " + LogQuote(name) + ": news from node " + news.node +
                  " not checked: " + e.what());
        return false;
    }
    const auto current = server_.Rooms().directory.ByName(name);
    if (current && current->node == self_) {
        log_.Line("room " + LogQuote(name) + " lives on node " + news.node +
                  " now: it took the room over while this node was cut off");
        // The room ends here before its entry is replaced, so that it cannot put its own
        // back afterwards.
        for (int i = 0; i < server_.LoopCount(); ++i) {
            ServerLoop& loop = server_.Loop(i);
            auto done = std::make_shared<std::promise<void>>();
            auto finished = done->get_future();
            asio::post(loop.Io(), [&loop, name, done] {
                loop.Relinquish(name);
                done->set_value();
            });
            if (finished.wait_for(kBusTimeout) != std::future_status::ready)
                log_.Line("loop " + std::to_string(i) + " did not let " + LogQuote(name) +
                          " go in time");
        }
    }
    return true;
}

void ClusterNode::TakeRoomNews(const RoomNews& news) {
    auto& directory = server_.Rooms().directory;
    if (news.entry) {
        directory.Put(*news.entry);
        return;
    }
    // Only the room's own node removes it: a taken-over room stays.
    if (auto current = directory.ByName(news.gone); current && current->node == news.node)
        directory.Erase(news.gone);
}

void ClusterNode::OnServe(const BusMessage& m) {
    const auto split = m.data.find('\0');
    const std::string address = m.data.substr(0, split == std::string::npos ? 0 : split);
    CMsg request;
    if (split == std::string::npos ||
        zorvi::DecodeMsg(std::string_view(m.data).substr(split + 1), request).status !=
            zorvi::DecodeStatus::Complete) {
        log_.Line("malformed request from another node dropped");
        return;
    }
    server_.Serve(
        server_.Loop(0), request, address,
        [this, reply = m.reply](std::optional<CMsg> answer) {
            if (reply.empty()) return;
            bus_.Respond(reply, answer ? "1" + zorvi::EncodeMsg(*answer) : "0");
        },
        true);
}

void ClusterNode::OnDropped(const BusMessage& m) {
    const std::string& by = m.data;
    if (by.empty() || by == self_) return;
    log_.Line("cluster node " + by + " took this node as gone: its people here leave its rooms");
    for (int i = 0; i < server_.LoopCount(); ++i) {
        ServerLoop& loop = server_.Loop(i);
        asio::post(loop.Io(), [&loop, by] { loop.CutRelayedTo(by); });
    }
}

void ClusterNode::OnLost(const std::string& node) {
    {
        std::lock_guard lock(liveMutex_);
        live_.erase(node);
        if (lost_.size() >= kMaxLostRemembered) lost_.erase(lost_.begin());
        lost_.insert(node);
    }
    log_.Line("cluster node " + node + " is gone");
    for (int i = 0; i < server_.LoopCount(); ++i) {
        ServerLoop& loop = server_.Loop(i);
        asio::post(loop.Io(), [&loop, node] { loop.DropNode(node); });
    }
    // The surviving node with the lowest id takes the rooms over; the ledger lets only one.
    {
        std::lock_guard lock(liveMutex_);
        if (!live_.empty() && *live_.begin() < self_) return;
    }
    const auto rooms = server_.Rooms().directory.OnNode(node);
    if (rooms.empty()) return;
    server_.PostToWorker([this, rooms, node] {
        for (const auto& entry : rooms) {
            try {
                if (!ledger_.TakeOver(entry.name, node, self_)) continue;
            } catch (const std::exception& e) {
                log_.Line("room " + LogQuote(entry.name) + " not taken over: " + e.what());
                continue;
            }
            ServerLoop& loop = server_.Loop(entry.port % server_.LoopCount());
            asio::post(loop.Io(), [this, &loop, entry] {
                loop.Adopt(entry, [this](const std::string& n) { return Alive(n); });
            });
        }
    });
}

bool ClusterNode::ShareLogin(const std::string& name, const std::string& address) {
    try {
        logins_.RecordLogin(name, address);
    } catch (const std::exception& e) {
        log_.Line(std::string("login not recorded: ") + e.what());
        return false;
    }
    std::string data = name;
    data.push_back('\0');
    data += address;
    return bus_.Publish(kLogins, data) && bus_.Flush(kBusTimeout);
}

ClusterLink::Claim ClusterNode::ClaimRoom(const std::string& name, int& port) {
    if (!bus_.Connected()) return Claim::Failed;
    const auto& c = server_.Config();
    const int first = c.chatPortFirst + static_cast<int>(c.rooms.size());
    try {
        const auto claim = ledger_.Claim(name, first, c.chatPortLast, self_);
        // A name left by a node that is gone, with no room anywhere now, is this node's.
        if (claim.outcome == PgRoomLedger::Outcome::NameTaken &&
            !server_.Rooms().directory.ByName(name)) {
            if (const auto kept = TakeOverFromTheDead(name)) {
                port = *kept;
                return Claim::Ok;
            }
        }
        switch (claim.outcome) {
            case PgRoomLedger::Outcome::Claimed:
                port = claim.port;
                return Claim::Ok;
            case PgRoomLedger::Outcome::NameTaken:
                return Claim::Taken;
            case PgRoomLedger::Outcome::NoFreePort:
                return Claim::Failed;
        }
    } catch (const std::exception& e) {
        log_.Line("room " + LogQuote(name) + " not created: " + e.what());
    }
    return Claim::Failed;
}

void ClusterNode::ReleaseRoom(const std::string& name) {
    try {
        ledger_.Release(name, self_);
    } catch (const std::exception& e) {
        log_.Line("room " + LogQuote(name) + " not released: " + e.what());
    }
}

bool ClusterNode::Flush() { return bus_.Flush(kBusTimeout); }

std::optional<std::optional<CMsg>> ClusterNode::Forward(const std::string& node,
                                                        const CMsg& request,
                                                        const std::string& address,
                                                        bool wantReply) {
    std::string data = address;
    data.push_back('\0');
    data += zorvi::EncodeMsg(request);
    if (!wantReply) {
        if (!bus_.Publish(ServeSubject(node), data)) return std::nullopt;
        return std::optional<CMsg>{};
    }
    const auto answer = bus_.Request(ServeSubject(node), data, kBusTimeout);
    if (!answer || answer->empty()) return std::nullopt;
    if ((*answer)[0] != '1') return std::optional<CMsg>{};
    CMsg reply;
    const auto r = zorvi::DecodeMsg(std::string_view(*answer).substr(1), reply);
    if (r.status != zorvi::DecodeStatus::Complete) return std::nullopt;
    return std::optional<CMsg>{reply};
}

}  // namespace zorvid::cluster
