#pragma once

#include <asio.hpp>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "server/core/account_store.h"
#include "server/core/address_rate_limit.h"
#include "server/core/chat_host.h"
#include "server/core/cluster_link.h"
#include "server/core/connection.h"
#include "server/core/event_log.h"
#include "server/core/login_registry.h"
#include "server/core/output_batch.h"
#include "server/core/participant.h"
#include "server/core/proxy_header.h"
#include "server/core/remote_participant.h"
#include "server/core/server_config.h"

namespace zorvid {

class ZorviServer;
class ChatConnection;

// One event loop of the service and what lives on it: its connections, their output batch,
// and the rooms (with their chat ports) whose chat host runs here. Loop 0 also accepts the
// login and service connections and hands them round the loops.
class ServerLoop final : public ConnectionTracker, public ChatPortProvider {
public:
    ServerLoop(ZorviServer& server, asio::io_context& io, int index);

    asio::io_context& Io() { return io_; }
    int Index() const { return index_; }
    ChatHost& Host() { return host_; }

    void Opened(Connection& c) override;
    void Closed(Connection& c) override;
    void Log(std::string_view line) override;
    OutputBatch& Output() override { return output_; }

    int OpenChatPort(int claimed = -1) override;
    void CloseChatPort(int port) override;

    // In a cluster every chat connection is relayed to its room's node (this one too), and
    // the rooms living here serve members whose connections are on any node.
    bool Clustered() const;
    // False while the port's room is not known here (yet).
    bool RelayJoin(ChatConnection& c, int port, const std::string& name);
    void RelayInput(ChatConnection& c, std::string_view records);
    void RelayGone(ChatConnection& c);
    // One bus message of frames for this loop.
    void TakeFrames(std::string_view message);
    // The node is gone: its people leave the rooms living here.
    void DropNode(const std::string& node);
    // Takes over a room of a node that is gone; `alive` tells which nodes still hold
    // their connections.
    void Adopt(const RoomEntry& entry, const std::function<bool(const std::string&)>& alive);
    // The room was taken over by another node while this one was cut off. If it lives on
    // this loop it ends here: the people whose connections are on this node are cut off
    // (the new home dropped them, and they join again), the others go on at the new home.
    void Relinquish(const std::string& name);
    // `node` took this one as gone and dropped its people: the connections relayed from
    // here to rooms living there end, and their people join again.
    void CutRelayedTo(const std::string& node);

private:
    friend class ZorviServer;

    using RemoteKey = std::tuple<std::string, int, std::uint64_t>;
    RemoteParticipant& AddRemote(const RelayAddress& at, std::string address, int port);
    void ForgetClosedRemotes();

    void ScheduleSweep();
    void ListenForChat(int port, std::shared_ptr<asio::ip::tcp::acceptor> acceptor);
    // On this loop's thread: every chat client told, every connection and chat port closed.
    void Stop();

    ZorviServer& server_;
    asio::io_context& io_;
    int index_;
    OutputBatch output_;
    ChatHost host_;
    asio::steady_timer sweepTimer_;
    std::unordered_map<int, std::shared_ptr<asio::ip::tcp::acceptor>> chatAcceptors_;
    std::unordered_set<Connection*> open_;
    // Cluster: this loop's relayed chat connections, by number, and the members of rooms
    // living here, by where their connection is.
    std::unordered_map<std::uint64_t, std::weak_ptr<ChatConnection>> relayed_;
    std::uint64_t nextRelayed_ = 0;
    std::map<RemoteKey, std::unique_ptr<RemoteParticipant>> remotes_;
    bool remotesClosed_ = false;
};

// The service's sockets on one or more event loops (`threads`): the login port, the service
// port and one chat port per room. Each room lives on one loop with every chat connection of
// its port, so a line never crosses loops; login and service connections go round the loops.
// Password hashing runs on a small worker pool so that a login never stalls the rooms.
class ZorviServer final {
public:
    // `io` is loop 0, run by the caller; further loops get threads of their own in Start.
    // `clock` defaults to the steady clock; tests pass their own to step through back-offs.
    ZorviServer(asio::io_context& io, const ServerConfig& config, AccountStore& accounts,
                EventLog& log, ChatHost::Clock clock = {});
    ~ZorviServer();
    ZorviServer(const ZorviServer&) = delete;
    ZorviServer& operator=(const ZorviServer&) = delete;

    // Binds the login and service ports and opens the permanent rooms; throws
    // std::runtime_error with a clear message when a port cannot be bound.
    void Start();
    // Tells every chat client {13, 25}, closes all connections and listeners; every event
    // loop then runs out of work. Call it on loop 0.
    void Stop();
    // After Stop: waits until the other loops have run out of work.
    void WaitForLoops();

    int LoginPort() const { return loginPort_; }
    int ServicePort() const { return servicePort_; }
    int LoopCount() const { return static_cast<int>(loops_.size()); }
    ServerLoop& Loop(int index) { return *loops_[static_cast<std::size_t>(index)]; }
    // Loop 0's chat host (the only one with one loop).
    ChatHost& Host() { return loops_.front()->Host(); }
    SharedRooms& Rooms() { return rooms_; }
    AccountStore& Accounts() { return accounts_; }
    const ServerConfig& Config() const { return config_; }
    void PostToWorker(std::function<void()> job);
    // The workers, for jobs that must run one after another (through a strand).
    asio::thread_pool::executor_type Workers() { return workers_.get_executor(); }
    ChatHost::TimePoint Now() const { return clock_(); }
    LoginThrottle& Logins() { return logins_; }
    void NoteLogin(const std::string& name, const std::string& address);

    // Makes this server a node of a cluster; before Start. Permanent rooms are then opened
    // by the cluster (HostPermanentRoom), each on one node.
    void UseCluster(ClusterLink& link, const std::string& nodeId);
    ClusterLink* Cluster() { return link_; }
    // Opens configured permanent room `index` on this node; any thread.
    void HostPermanentRoom(std::size_t index);
    // Chat port of permanent room `index` in a cluster: the first ports of the range.
    int PermanentPort(std::size_t index) const;

    // Answers a service request on the loop its room lives on; `done` runs on `from`'s loop
    // with the reply (or nothing, for requests without one).
    // `forwarded`: the request came from another node and is answered here, whatever this
    // node's entries say, so that two nodes with different news never pass it back and forth.
    void Serve(ServerLoop& from, const CMsg& request, const std::string& address,
               std::function<void(std::optional<CMsg>)> done, bool forwarded = false);

    void Log(std::string_view line) { log_.Line(line); }
    void Log(std::string_view line, std::initializer_list<LogField> fields) {
        log_.Line(line, fields);
    }

private:
    friend class ServerLoop;
    using Factory =
        std::function<std::shared_ptr<Connection>(ServerLoop&, asio::ip::tcp::socket, std::string)>;
    std::shared_ptr<asio::ip::tcp::acceptor> Listen(asio::io_context& io, int port,
                                                    std::string& error);
    // Accepts on `home`'s loop; with `spread` each connection goes to the next loop in turn.
    void Accept(ServerLoop& home, std::shared_ptr<asio::ip::tcp::acceptor> acceptor, bool spread,
                Factory factory);
    ServerLoop& NextLoop();
    // The loop the next created room lives on: they are dealt round in turn.
    int NextRoomLoop();
    void ForgetFailures();
    // Why a new connection from `address` is turned away, or nullptr when it may come in
    // (and is counted until Uncount).
    const char* Refusal(const std::string& address);
    void LogRefusal(const std::string& address, const char* why);
    // The next free port of the configured range for a room, bound on `io`.
    std::shared_ptr<asio::ip::tcp::acceptor> ClaimChatPort(asio::io_context& io);
    void Uncount(const std::string& address);
    void ServeClustered(ServerLoop& from, const CMsg& request, const std::string& address,
                        std::function<void(std::optional<CMsg>)> done, bool forwarded);
    // Runs `job` on `loop`, then `then` with its result on `from`'s loop.
    static void Answer(ServerLoop& from, std::function<void(std::optional<CMsg>)> done,
                       std::optional<CMsg> reply);

    asio::io_context& io_;
    const ServerConfig& config_;
    AccountStore& accounts_;
    EventLog& log_;
    ChatHost::Clock clock_;
    SharedRooms rooms_;
    std::vector<std::unique_ptr<asio::io_context>> ownIos_;  // loops 1..N-1
    std::vector<std::unique_ptr<ServerLoop>> loops_;
    std::vector<asio::executor_work_guard<asio::io_context::executor_type>> keepRunning_;
    std::vector<std::thread> threads_;
    std::atomic<unsigned> nextLoop_{0};      // where the next connection goes
    std::atomic<unsigned> nextRoomLoop_{0};  // where the next created room lives
    asio::thread_pool workers_{2};
    asio::ip::address bindAddress_;
    std::shared_ptr<const TlsContext> tls_;  // null: plain text only
    ClusterLink* link_ = nullptr;            // null: a single node

    int loginPort_ = -1;
    int servicePort_ = -1;
    std::atomic<bool> stopping_{false};
    std::shared_ptr<asio::ip::tcp::acceptor> loginAcceptor_;
    std::shared_ptr<asio::ip::tcp::acceptor> serviceAcceptor_;

    std::mutex portsMutex_;  // the chat-port range, claimed from any loop
    int nextChatPort_ = 0;
    std::unordered_set<int> chatPortsInUse_;

    // Admission limits (ServerConfig's block of the same name), shared by every loop.
    std::mutex admissionMutex_;
    std::unordered_map<std::string, int> perAddress_;
    std::size_t openCount_ = 0;
    int maxConnections_ = 0;  // the configured cap, lowered to fit the descriptor limit
    AddressRateLimit connectRate_;
    LoginThrottle logins_;
    ProxyPeers proxyPeers_;  // peers whose connections start with a PROXY header
    std::optional<ChatHost::TimePoint> lastRefusalLogged_;
    int refusalsNotLogged_ = 0;
};

}  // namespace zorvid
