#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/cluster/nats_bus.h"

namespace zorvid::cluster {

// Which other nodes are alive, judged by their heartbeats on the bus.
//
// Every `interval` this node publishes "ID NAME" on kAliveSubject; on destruction it
// publishes the same on kByeSubject. Another node is Joined at its first heartbeat and
// Lost when it said goodbye or has been silent for `timeout`. While this node is itself cut
// off from NATS it judges nobody, and once back it gives every node a fresh `timeout`; the
// same when it stood still itself (stopped, or starved of the processor) for a good part of
// `timeout`, for the heartbeats it missed meanwhile may not have been read yet. A
// node taken as lost that is heard again (its link was down longer than the time-out) is
// Joined again: its id is the same, so whoever adopted its work can tell.
//
// Everything, callbacks included, runs on the io_context given; construct, use and destroy
// it there.
class NodeWatch {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::string_view kAliveSubject = "zorvi.node.alive";
    static constexpr std::string_view kByeSubject = "zorvi.node.bye";

    struct Settings {
        std::chrono::milliseconds interval{1000};  // between heartbeats
        std::chrono::milliseconds timeout{5000};   // silence after which a node is lost
    };

    struct Events {
        std::function<void(const std::string& id)> joined;
        std::function<void(const std::string& id)> lost;
    };

    struct Node {
        std::string id;
        std::string name;
    };

    // Throws std::invalid_argument unless 0 < interval < timeout.
    NodeWatch(NatsBus& bus, asio::io_context& io, Settings settings, Events events);
    NodeWatch(const NodeWatch&) = delete;
    NodeWatch& operator=(const NodeWatch&) = delete;
    // Says goodbye.
    ~NodeWatch();

    // The other nodes taken as alive, by id.
    std::vector<Node> LiveNodes() const;

private:
    struct Peer {
        std::string name;
        Clock::time_point lastHeard;
    };

    void Tick();
    void OnMessage(const BusMessage& message);
    void OnConnection(bool connected);
    void Judge();
    void Refresh();
    std::string Announcement() const;

    NatsBus& bus_;
    asio::io_context& io_;
    Settings settings_;
    Events events_;
    asio::steady_timer timer_;
    std::map<std::string, Peer> peers_;
    bool cutOff_ = false;  // disconnected since the last tick or callback said so
    Clock::time_point lastTick_;
    std::uint64_t reconnectsSeen_ = 0;
    // Handlers on the loop hold this weakly: gone with the watch, they do nothing.
    std::shared_ptr<NodeWatch*> self_;
    NatsBus::Subscription subscription_;
    NatsBus::ConnectionWatch connectionWatch_;
};

}  // namespace zorvid::cluster
