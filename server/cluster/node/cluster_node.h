#pragma once

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server/cluster/nats_bus.h"
#include "server/cluster/node_watch.h"
#include "server/core/cluster_link.h"
#include "server/core/pg_login_book.h"
#include "server/core/pg_room_ledger.h"
#include "server/core/zorvi_server.h"

namespace zorvid::cluster {

// This process as a node of a cluster: its rooms' news, logins and relayed chat traffic
// travel through NATS; room names and chat ports are arbitrated, and logins kept, in
// PostgreSQL. When another node falls silent its people leave the rooms living here, and
// the rooms that lived there are taken over by the surviving node with the lowest id.
//
// Subjects: "zorvi.loop.NODE.LOOP" carries frames for one event loop of a node;
// "zorvi.rooms" each room's entry when it changes ("zorvi.rooms.sync" asks every node to
// send its rooms again); "zorvi.login" each login; "zorvi.serve.NODE" requests about a
// room that lives on NODE; "zorvi.dropped.NODE" tells NODE, heard again, that the sender
// had taken it as gone.
class ClusterNode final : public ClusterLink {
public:
    ClusterNode(ZorviServer& server, NatsBus& bus, PgRoomLedger& ledger, PgLoginBook& logins,
                EventLog& log, std::chrono::milliseconds nodeTimeout);
    ~ClusterNode() override;
    ClusterNode(const ClusterNode&) = delete;
    ClusterNode& operator=(const ClusterNode&) = delete;

    // After ZorviServer::UseCluster and Start: subscribes, learns the other nodes' rooms and
    // the fresh logins, and opens the permanent rooms that no live node holds. Blocks for
    // about two heartbeats.
    void Join();
    // On a clean stop, before the server's: says goodbye and from then on ignores the
    // frames for this node, so that its rooms pass to another node exactly as if it had
    // died, only at once. Its people then leave the rooms living elsewhere as usual.
    void Leave();

    void Send(int fromLoop, const std::string& node, int toLoop, const Frame& frame) override;
    bool ShareLogin(const std::string& name, const std::string& address) override;
    Claim ClaimRoom(const std::string& name, int& port) override;
    void ReleaseRoom(const std::string& name) override;
    bool Flush() override;
    std::optional<std::optional<CMsg>> Forward(const std::string& node, const CMsg& request,
                                               const std::string& address, bool wantReply) override;

private:
    struct Outbox {
        std::map<std::pair<std::string, int>, std::string> byPlace;
        bool flushPosted = false;
    };

    void FlushOutbox(int loop);
    void PublishRoom(const RoomEntry* entry, const std::string& name);
    // A room's new entry, or that it is gone, from another node.
    struct RoomNews {
        std::string node;
        std::optional<RoomEntry> entry;
        std::string gone;  // the room's name, without an entry
    };
    void OnRooms(const BusMessage& m);
    // Whether the news names another home than the directory's: one of the two nodes was
    // cut off while the other took the room over.
    bool Disputed(const RoomNews& news) const;
    // Whether the ledger names the news's node as the room's home. If it does and the room
    // lived here, this node's copy ends first. Blocks on the database.
    bool HomeInLedger(const RoomNews& news);
    void TakeRoomNews(const RoomNews& news);
    // Sends this node's rooms again, for a node that may have missed news.
    void RepublishRooms();
    void OnServe(const BusMessage& m);
    void OnLost(const std::string& node);
    // Another node took this one as gone (it was cut off, or stood still, for longer than
    // the time-out) and dropped its people from the rooms living there.
    void OnDropped(const BusMessage& m);
    bool Alive(const std::string& node) const;
    // Takes the ledger's row for `name` over when its node is not alive; its chat port.
    std::optional<int> TakeOverFromTheDead(const std::string& name);
    // Runs `job` on the cluster's loop and waits for it, at most the bus time-out.
    void OnClusterLoop(const char* what, std::function<void()> job);
    void OpenPermanentRooms();
    // Now and then: logins past their lifetime leave the book.
    void ForgetOldLogins();

    ZorviServer& server_;
    NatsBus& bus_;
    PgRoomLedger& ledger_;
    PgLoginBook& logins_;
    EventLog& log_;
    const std::string self_;
    std::chrono::milliseconds nodeTimeout_;
    std::vector<Outbox> outboxes_;  // one per event loop, used only on that loop
    std::atomic<bool> leaving_{false};
    // Ledger look-ups for room news, in the order the news came; how many wait there.
    asio::strand<asio::thread_pool::executor_type> ledgerChecks_;
    std::atomic<int> settling_{0};

    // The cluster's own loop: room news, logins, requests, liveness.
    asio::io_context io_{1};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning_;
    std::thread thread_;
    std::vector<NatsBus::Subscription> subscriptions_;
    std::unique_ptr<NodeWatch> watch_;
    asio::steady_timer forgetTimer_{io_};
    mutable std::mutex liveMutex_;
    std::set<std::string> live_;  // other nodes heard, by id
    std::set<std::string> lost_;  // other nodes taken as gone, by id
};

}  // namespace zorvid::cluster
