#include "server/cluster/node_watch.h"

#include <stdexcept>

namespace zorvid::cluster {
namespace {

// "ID NAME"; both are single subject tokens (NatsBus checks the name), so a space parts them.
constexpr std::size_t kMaxAnnouncementBytes = 256;
// Far more nodes than a cluster has; a publisher inventing ids cannot grow the table past it.
constexpr std::size_t kMaxNodes = 4096;

bool ParseAnnouncement(std::string_view data, std::string& id, std::string& name) {
    if (data.size() > kMaxAnnouncementBytes) return false;
    const auto space = data.find(' ');
    if (space == std::string_view::npos || space == 0 || space + 1 == data.size()) return false;
    if (data.find(' ', space + 1) != std::string_view::npos) return false;
    id = data.substr(0, space);
    name = data.substr(space + 1);
    return true;
}

}  // namespace

NodeWatch::NodeWatch(NatsBus& bus, asio::io_context& io, Settings settings, Events events)
    : bus_(bus),
      io_(io),
      settings_(settings),
      events_(std::move(events)),
      timer_(io),
      reconnectsSeen_(bus.Reconnects()),
      self_(std::make_shared<NodeWatch*>(this)) {
    if (settings_.interval.count() <= 0 || settings_.timeout <= settings_.interval) {
        throw std::invalid_argument("a node's time-out must be longer than its heartbeat interval");
    }
    // One subscription for both subjects keeps a node's heartbeats and goodbye in order.
    subscription_ = bus_.Subscribe("zorvi.node.*", io_,
                                   [this](const BusMessage& message) { OnMessage(message); });
    connectionWatch_ =
        bus_.WatchConnection(io_, [this](bool connected) { OnConnection(connected); });
    bus_.Publish(kAliveSubject, Announcement());
    lastTick_ = Clock::now();
    timer_.expires_after(settings_.interval);
    timer_.async_wait([weak = std::weak_ptr(self_)](const std::error_code& error) {
        if (auto self = weak.lock(); self && !error) (*self)->Tick();
    });
}

NodeWatch::~NodeWatch() {
    timer_.cancel();
    if (bus_.Connected()) bus_.Publish(kByeSubject, Announcement());
}

std::vector<NodeWatch::Node> NodeWatch::LiveNodes() const {
    std::vector<Node> nodes;
    nodes.reserve(peers_.size());
    for (const auto& [id, peer] : peers_) nodes.push_back({id, peer.name});
    return nodes;
}

void NodeWatch::Tick() {
    const auto now = Clock::now();
    const bool stoodStill =
        now - lastTick_ > settings_.interval + (settings_.timeout - settings_.interval) / 2;
    lastTick_ = now;
    if (!bus_.Connected()) {
        cutOff_ = true;
    } else {
        // The connection may have come back before its callback reaches this loop.
        if (cutOff_ || stoodStill || bus_.Reconnects() != reconnectsSeen_) Refresh();
        bus_.Publish(kAliveSubject, Announcement());
        Judge();
    }
    timer_.expires_after(settings_.interval);
    timer_.async_wait([weak = std::weak_ptr(self_)](const std::error_code& error) {
        if (auto self = weak.lock(); self && !error) (*self)->Tick();
    });
}

void NodeWatch::OnConnection(bool connected) {
    if (!connected) {
        cutOff_ = true;
        return;
    }
    Refresh();
    bus_.Publish(kAliveSubject, Announcement());
}

// Silence heard while cut off says nothing about the others: every clock starts again.
void NodeWatch::Refresh() {
    cutOff_ = false;
    reconnectsSeen_ = bus_.Reconnects();
    const auto now = Clock::now();
    for (auto& [id, peer] : peers_) peer.lastHeard = now;
}

void NodeWatch::Judge() {
    const auto deadline = Clock::now() - settings_.timeout;
    std::vector<std::string> lost;
    for (auto it = peers_.begin(); it != peers_.end();) {
        if (it->second.lastHeard < deadline) {
            lost.push_back(it->first);
            it = peers_.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& id : lost) {
        if (events_.lost) events_.lost(id);
    }
}

void NodeWatch::OnMessage(const BusMessage& message) {
    std::string id, name;
    if (!ParseAnnouncement(message.data, id, name) || id == bus_.NodeId()) return;
    if (message.subject == kAliveSubject) {
        if (peers_.size() >= kMaxNodes && !peers_.contains(id)) return;
        auto [it, joined] = peers_.try_emplace(id, Peer{name, Clock::now()});
        if (!joined) {
            it->second.lastHeard = Clock::now();
        } else if (events_.joined) {
            events_.joined(id);
        }
    } else if (message.subject == kByeSubject) {
        if (peers_.erase(id) > 0 && events_.lost) events_.lost(id);
    }
}

std::string NodeWatch::Announcement() const { return bus_.NodeId() + " " + bus_.NodeName(); }

}  // namespace zorvid::cluster
