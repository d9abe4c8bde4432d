#include "server/core/zorvi_server.h"

#include <sys/resource.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/protocol_connections.h"
#include "server/core/tls_session.h"

namespace zorvid {
namespace {

ConnectionLimits ExchangeLimits(const ServerConfig& c, std::shared_ptr<const TlsContext> tls) {
    return {c.maxRecordBytes,   c.maxQueuedBytes, c.handshakeTimeout,
            c.handshakeTimeout, c.recordDeadline, FloodLimits{.enabled = false},
            c.keepAlive,        std::move(tls),   c.plainAllowed};
}

ConnectionLimits ChatLimits(const ServerConfig& c, std::shared_ptr<const TlsContext> tls) {
    return {c.maxRecordBytes, c.maxQueuedBytes, c.handshakeTimeout, c.idleLimit,   c.recordDeadline,
            c.flood,          c.keepAlive,      std::move(tls),     c.plainAllowed};
}

LoginThrottle::Settings ThrottleSettings(const ServerConfig& c) {
    return {c.loginFreeFailuresPerName, c.loginFreeFailuresPerAddress, c.loginBackoff,
            c.loginBackoffMax, c.maxNameBytes};
}

// Out of descriptors or memory, an accept fails at once again: wait before the next one.
constexpr std::chrono::milliseconds kAcceptRetryPause(100);

// Descriptors kept for everything but the connections: listeners, the chat ports' acceptors,
// the database, the web site and the log.
constexpr rlim_t kReservedDescriptors = 1024;

// Raises the process's descriptor limit to its hard limit and returns the connection cap that
// fits in it, so that the cap, not a failing accept, is what turns connections away.
int CapWithinDescriptors(int cap, EventLog& log) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return cap;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY) return cap;
    const rlim_t room = limit.rlim_cur > 2 * kReservedDescriptors
                            ? limit.rlim_cur - kReservedDescriptors
                            : limit.rlim_cur / 2;
    if (cap > 0 && static_cast<rlim_t>(cap) <= room) return cap;
    log.Line("connection cap set to " + std::to_string(room) + ": the process may open only " +
             std::to_string(limit.rlim_cur) + " files");
    return static_cast<int>(std::min<rlim_t>(room, 1 << 30));
}

// A flood of refused connections logs one line a second, with the count of those it left out.
constexpr std::chrono::seconds kRefusalLogInterval(1);

}  // namespace

ServerLoop::ServerLoop(ZorviServer& server, asio::io_context& io, int index)
    : server_(server),
      io_(io),
      index_(index),
      output_(io),
      host_(server.config_, *this, server.log_, server.clock_, &server.rooms_, index),
      sweepTimer_(io) {}

// A connection was counted when it was let in (Refusal), before it reached its loop.
void ServerLoop::Opened(Connection& c) { open_.insert(&c); }

void ServerLoop::Closed(Connection& c) {
    open_.erase(&c);
    server_.Uncount(c.AcceptedAddress());
}

void ServerLoop::Log(std::string_view line) { server_.log_.Line(line); }

int ServerLoop::OpenChatPort(int claimed) {
    if (server_.stopping_) return -1;
    // A node of a cluster listens on the whole range from the start.
    if (Clustered()) return claimed;
    std::string error;
    auto acceptor = server_.config_.EphemeralChatPorts() ? server_.Listen(io_, 0, error)
                                                         : server_.ClaimChatPort(io_);
    if (!acceptor) return -1;
    const int port = acceptor->local_endpoint().port();
    ListenForChat(port, acceptor);
    return port;
}

void ServerLoop::ListenForChat(int port, std::shared_ptr<asio::ip::tcp::acceptor> acceptor) {
    chatAcceptors_[port] = acceptor;
    server_.Accept(*this, acceptor, false,
                   [port](ServerLoop& loop, asio::ip::tcp::socket s, std::string address) {
                       return std::make_shared<ChatConnection>(
                           std::move(s), std::move(address),
                           ChatLimits(loop.server_.config_, loop.server_.tls_), loop, port);
                   });
}

void ServerLoop::CloseChatPort(int port) {
    if (Clustered()) {
        if (auto room = server_.rooms_.directory.ByPort(port)) {
            server_.PostToWorker(
                [link = server_.link_, name = room->name] { link->ReleaseRoom(name); });
        }
        return;
    }
    auto it = chatAcceptors_.find(port);
    if (it == chatAcceptors_.end()) return;
    asio::error_code ec;
    it->second->close(ec);
    chatAcceptors_.erase(it);
    std::lock_guard lock(server_.portsMutex_);
    server_.chatPortsInUse_.erase(port);
}

void ServerLoop::ScheduleSweep() {
    const auto interval =
        std::clamp(server_.config_.emptyRoomGrace / 4, std::chrono::milliseconds(20),
                   std::chrono::milliseconds(1000));
    sweepTimer_.expires_after(interval);
    sweepTimer_.async_wait([this](asio::error_code ec) {
        if (ec || server_.stopping_) return;
        host_.Sweep();
        if (index_ == 0) server_.ForgetFailures();
        ScheduleSweep();
    });
}

void ServerLoop::Stop() {
    if (Clustered()) {
        // This node's own clients are told the connection ends. The rooms living here are
        // left as they are: the node that takes them over drops this node's people from
        // them, as it would after a crash.
        const std::string closing = zorvi::EncodeMsg(CMsg(code1::kReply, code2::kClosing));
        for (auto& [number, weak] : relayed_) {
            if (auto c = weak.lock()) {
                c->Queue(closing);
                c->CloseAfterFlush();
            }
        }
    } else {
        host_.CloseAll();
    }
    asio::error_code ec;
    sweepTimer_.cancel();
    for (auto& [port, acceptor] : chatAcceptors_) acceptor->close(ec);
    chatAcceptors_.clear();
    const std::vector<Connection*> open(open_.begin(), open_.end());
    for (Connection* c : open) {
        if (!c->Closing()) c->Abort("service stopping");
    }
}

ZorviServer::ZorviServer(asio::io_context& io, const ServerConfig& config, AccountStore& accounts,
                         EventLog& log, ChatHost::Clock clock)
    : io_(io),
      config_(config),
      accounts_(accounts),
      log_(log),
      clock_(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }),
      rooms_(config.loginLifetime),
      connectRate_(config.connectRatePerAddress, config.connectBurstPerAddress),
      logins_(ThrottleSettings(config)),
      proxyPeers_(config.proxyFrom) {
    asio::error_code ec;
    bindAddress_ = asio::ip::make_address(config.bindAddress, ec);
    if (ec) throw std::runtime_error("bad bind address \"" + config.bindAddress + "\"");
    nextChatPort_ = config.chatPortFirst;
    if (!config.tlsCert.empty()) tls_ = TlsContext::ForServer(config.tlsCert, config.tlsKey);
    const int count = config.EventLoops();
    loops_.push_back(std::make_unique<ServerLoop>(*this, io, 0));
    for (int i = 1; i < count; ++i) {
        ownIos_.push_back(std::make_unique<asio::io_context>(1));
        loops_.push_back(std::make_unique<ServerLoop>(*this, *ownIos_.back(), i));
        keepRunning_.push_back(asio::make_work_guard(*ownIos_.back()));
    }
}

void ZorviServer::WaitForLoops() {
    keepRunning_.clear();
    for (auto& t : threads_) {
        if (t.joinable()) t.join();
    }
}

ZorviServer::~ZorviServer() {
    keepRunning_.clear();
    for (auto& io : ownIos_) io->stop();
    for (auto& t : threads_) {
        if (t.joinable()) t.join();
    }
    workers_.join();
}

std::shared_ptr<asio::ip::tcp::acceptor> ZorviServer::Listen(asio::io_context& io, int port,
                                                             std::string& error) {
    auto acceptor = std::make_shared<asio::ip::tcp::acceptor>(io);
    const asio::ip::tcp::endpoint endpoint(bindAddress_, static_cast<unsigned short>(port));
    asio::error_code ec;
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor->bind(endpoint, ec);
    if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = ec.message();
        return nullptr;
    }
    return acceptor;
}

ServerLoop& ZorviServer::NextLoop() {
    return *loops_[nextLoop_.fetch_add(1, std::memory_order_relaxed) % loops_.size()];
}

int ZorviServer::NextRoomLoop() {
    return static_cast<int>(nextRoomLoop_.fetch_add(1, std::memory_order_relaxed) % loops_.size());
}

void ZorviServer::Accept(ServerLoop& home, std::shared_ptr<asio::ip::tcp::acceptor> acceptor,
                         bool spread, Factory factory) {
    acceptor->async_accept(
        [this, &home, acceptor, spread, factory](asio::error_code ec, asio::ip::tcp::socket s) {
            if (ec == asio::error::operation_aborted || !acceptor->is_open() || stopping_) return;
            if (!ec) {
                asio::error_code peerError;
                const auto peer = s.remote_endpoint(peerError);
                if (!peerError) {
                    const std::string address = peer.address().to_string();
                    const bool proxied = proxyPeers_.Contains(peer.address());
                    const auto start = [proxied](const std::shared_ptr<Connection>& c) {
                        if (proxied) c->ExpectProxyHeader();
                        c->Start();
                    };
                    if (const char* why = Refusal(address)) {
                        LogRefusal(address, why);
                        s.close(peerError);
                    } else if (ServerLoop& to = spread ? NextLoop() : home; &to == &home) {
                        start(factory(home, std::move(s), address));
                    } else {
                        // The socket moves to the other loop's reactor here; it starts there.
                        const auto protocol = peer.protocol();
                        asio::ip::tcp::socket moved(to.Io(), protocol, s.release(peerError));
                        asio::post(to.Io(), [&to, factory, address, start,
                                             moved = std::make_shared<asio::ip::tcp::socket>(
                                                 std::move(moved))]() mutable {
                            start(factory(to, std::move(*moved), address));
                        });
                    }
                }
            } else {
                log_.Line("accept failed: " + ec.message());
                if (ec == std::errc::too_many_files_open ||
                    ec == std::errc::too_many_files_open_in_system ||
                    ec == std::errc::no_buffer_space || ec == std::errc::not_enough_memory) {
                    auto pause = std::make_shared<asio::steady_timer>(home.Io(), kAcceptRetryPause);
                    pause->async_wait(
                        [this, &home, pause, acceptor, spread, factory](asio::error_code) {
                            if (!stopping_ && acceptor->is_open())
                                Accept(home, acceptor, spread, factory);
                        });
                    return;
                }
            }
            Accept(home, acceptor, spread, factory);
        });
}

void ZorviServer::Uncount(const std::string& address) {
    std::lock_guard lock(admissionMutex_);
    --openCount_;
    auto it = perAddress_.find(address);
    if (it != perAddress_.end() && --it->second <= 0) perAddress_.erase(it);
}

const char* ZorviServer::Refusal(const std::string& address) {
    std::lock_guard lock(admissionMutex_);
    if (maxConnections_ > 0 && openCount_ >= static_cast<std::size_t>(maxConnections_))
        return "the service is at its connection cap";
    auto it = perAddress_.find(address);
    if (it != perAddress_.end() && it->second >= config_.maxConnectionsPerAddress)
        return "too many from that address";
    // Last, so that only connections let in spend the address's allowance.
    if (!connectRate_.Admit(AddressBlock(address), Now())) return "connecting too fast";
    // Counted now: the connection may start on another loop a moment later.
    ++openCount_;
    ++perAddress_[address];
    return nullptr;
}

void ZorviServer::LogRefusal(const std::string& address, const char* why) {
    std::lock_guard lock(admissionMutex_);
    const auto now = Now();
    if (lastRefusalLogged_ && now - *lastRefusalLogged_ < kRefusalLogInterval) {
        ++refusalsNotLogged_;
        return;
    }
    std::string line = "connection from " + address + " refused: " + why;
    if (refusalsNotLogged_ > 0)
        line += " (" + std::to_string(refusalsNotLogged_) + " more refused before it)";
    log_.Line(line);
    lastRefusalLogged_ = now;
    refusalsNotLogged_ = 0;
}

void ZorviServer::ForgetFailures() {
    const auto now = Now();
    logins_.Forget(now);
    std::lock_guard lock(admissionMutex_);
    connectRate_.Forget(now);
    if (refusalsNotLogged_ > 0 && now - *lastRefusalLogged_ >= kRefusalLogInterval) {
        log_.Line(std::to_string(refusalsNotLogged_) + " more connections refused");
        lastRefusalLogged_ = now;
        refusalsNotLogged_ = 0;
    }
}

void ZorviServer::Start() {
    maxConnections_ = CapWithinDescriptors(config_.maxConnections, log_);
    std::string error;
    loginAcceptor_ = Listen(io_, config_.loginPort, error);
    if (!loginAcceptor_) {
        throw std::runtime_error("cannot listen on login port " +
                                 std::to_string(config_.loginPort) + ": " + error);
    }
    serviceAcceptor_ = Listen(io_, config_.servicePort, error);
    if (!serviceAcceptor_) {
        throw std::runtime_error("cannot listen on service port " +
                                 std::to_string(config_.servicePort) + ": " + error);
    }
    loginPort_ = loginAcceptor_->local_endpoint().port();
    servicePort_ = serviceAcceptor_->local_endpoint().port();
    ServerLoop& first = *loops_.front();
    Accept(first, loginAcceptor_, true,
           [this](ServerLoop& loop, asio::ip::tcp::socket s, std::string address) {
               return std::make_shared<LoginConnection>(std::move(s), std::move(address),
                                                        ExchangeLimits(config_, tls_), loop, *this);
           });
    Accept(first, serviceAcceptor_, true,
           [this](ServerLoop& loop, asio::ip::tcp::socket s, std::string address) {
               return std::make_shared<ServiceConnection>(
                   std::move(s), std::move(address), ExchangeLimits(config_, tls_), loop, *this);
           });
    if (link_) {
        // Every node listens on every chat port: the balancer may bring a room's people to
        // any node. Permanent rooms are opened where the cluster says.
        for (int port = config_.chatPortFirst; port <= config_.chatPortLast; ++port) {
            ServerLoop& loop = *loops_[static_cast<std::size_t>(port) % loops_.size()];
            auto acceptor = Listen(loop.Io(), port, error);
            if (!acceptor) {
                throw std::runtime_error("cannot listen on chat port " + std::to_string(port) +
                                         ": " + error);
            }
            loop.ListenForChat(port, acceptor);
        }
    }
    // Permanent rooms are dealt round the loops before any loop runs.
    for (auto& loop : loops_) {
        if (!link_ && !loop->host_.OpenPermanentRooms(loop->index_, LoopCount()))
            throw std::runtime_error("cannot open the permanent rooms");
        loop->ScheduleSweep();
    }
    for (std::size_t i = 0; i < ownIos_.size(); ++i) {
        threads_.emplace_back([io = ownIos_[i].get()] { io->run(); });
    }
}

std::shared_ptr<asio::ip::tcp::acceptor> ZorviServer::ClaimChatPort(asio::io_context& io) {
    std::lock_guard lock(portsMutex_);
    // Walk the range from where the last search stopped, skipping ports in use.
    const int span = config_.chatPortLast - config_.chatPortFirst + 1;
    std::string error;
    for (int tries = 0; tries < span; ++tries) {
        const int port = nextChatPort_;
        nextChatPort_ = port >= config_.chatPortLast ? config_.chatPortFirst : port + 1;
        if (chatPortsInUse_.count(port)) continue;
        if (auto acceptor = Listen(io, port, error)) {
            chatPortsInUse_.insert(port);
            return acceptor;
        }
    }
    return nullptr;
}

void ZorviServer::NoteLogin(const std::string& name, const std::string& address) {
    rooms_.logins.Note(name, address, Now());
}

void ZorviServer::Serve(ServerLoop& from, const CMsg& request, const std::string& address,
                        std::function<void(std::optional<CMsg>)> done, bool forwarded) {
    if (link_) {
        ServeClustered(from, request, address, std::move(done), forwarded);
        return;
    }
    // The loop that must answer: a new room's (dealt round), or the room the request is about.
    int home = from.Index();
    if (request.code2 == code2::kCreateRoom) {
        home = NextRoomLoop();
    } else if (request.code2 == code2::kRemoveRoom) {
        if (auto room = rooms_.directory.ByName(request.text)) home = room->home;
    } else if (request.code2 == code2::kDeliverToUser && request.list.size() >= 2) {
        if (auto room = rooms_.directory.Locate(request.list[1], request.text)) home = room->home;
    }
    if (home == from.Index()) {
        done(from.Host().HandleService(request, address));
        return;
    }
    ServerLoop& to = Loop(home);
    asio::post(to.Io(), [&to, &from, request, address, done = std::move(done)]() mutable {
        auto reply = to.Host().HandleService(request, address);
        asio::post(from.Io(), [done = std::move(done), reply = std::move(reply)]() mutable {
            done(std::move(reply));
        });
    });
}

void ZorviServer::PostToWorker(std::function<void()> job) { asio::post(workers_, std::move(job)); }

void ZorviServer::Stop() {
    if (stopping_) return;
    log_.Line("stopping: telling every chat client the connection ends");
    stopping_ = true;
    asio::error_code ec;
    if (loginAcceptor_) loginAcceptor_->close(ec);
    if (serviceAcceptor_) serviceAcceptor_->close(ec);
    loops_.front()->Stop();
    for (std::size_t i = 1; i < loops_.size(); ++i) {
        ServerLoop* loop = loops_[i].get();
        asio::post(loop->Io(), [loop] { loop->Stop(); });
    }
    keepRunning_.clear();  // each loop ends once its connections have closed
}

}  // namespace zorvid
