#include "server/core/zorvi_server.h"

#include <sys/resource.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

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

ZorviServer::ZorviServer(asio::io_context& io, const ServerConfig& config, AccountStore& accounts,
                         EventLog& log, ChatHost::Clock clock)
    : io_(io),
      config_(config),
      accounts_(accounts),
      log_(log),
      clock_(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }),
      output_(io),
      host_(config, *this, log, clock_),
      sweepTimer_(io),
      connectRate_(config.connectRatePerAddress, config.connectBurstPerAddress),
      logins_(ThrottleSettings(config)) {
    asio::error_code ec;
    bindAddress_ = asio::ip::make_address(config.bindAddress, ec);
    if (ec) throw std::runtime_error("bad bind address \"" + config.bindAddress + "\"");
    nextChatPort_ = config.chatPortFirst;
    if (!config.tlsCert.empty()) tls_ = TlsContext::ForServer(config.tlsCert, config.tlsKey);
}

ZorviServer::~ZorviServer() { workers_.join(); }

std::shared_ptr<asio::ip::tcp::acceptor> ZorviServer::Listen(int port, std::string& error) {
    auto acceptor = std::make_shared<asio::ip::tcp::acceptor>(io_);
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

void ZorviServer::Accept(std::shared_ptr<asio::ip::tcp::acceptor> acceptor, Factory factory) {
    acceptor->async_accept([this, acceptor, factory](asio::error_code ec, asio::ip::tcp::socket s) {
        if (ec == asio::error::operation_aborted || !acceptor->is_open() || stopping_) return;
        if (!ec) {
            asio::error_code peerError;
            const auto peer = s.remote_endpoint(peerError);
            if (!peerError) {
                const std::string address = peer.address().to_string();
                if (const char* why = Refusal(address)) {
                    LogRefusal(address, why);
                    s.close(peerError);
                } else {
                    factory(std::move(s), address)->Start();
                }
            }
        } else {
            log_.Line("accept failed: " + ec.message());
            if (ec == std::errc::too_many_files_open ||
                ec == std::errc::too_many_files_open_in_system ||
                ec == std::errc::no_buffer_space || ec == std::errc::not_enough_memory) {
                auto pause = std::make_shared<asio::steady_timer>(io_, kAcceptRetryPause);
                pause->async_wait([this, pause, acceptor, factory](asio::error_code) {
                    if (!stopping_ && acceptor->is_open()) Accept(acceptor, factory);
                });
                return;
            }
        }
        Accept(acceptor, factory);
    });
}

const char* ZorviServer::Refusal(const std::string& address) {
    if (maxConnections_ > 0 && open_.size() >= static_cast<std::size_t>(maxConnections_))
        return "the service is at its connection cap";
    auto it = perAddress_.find(address);
    if (it != perAddress_.end() && it->second >= config_.maxConnectionsPerAddress)
        return "too many from that address";
    // Last, so that only connections let in spend the address's allowance.
    if (!connectRate_.Admit(AddressBlock(address), Now())) return "connecting too fast";
    return nullptr;
}

void ZorviServer::LogRefusal(const std::string& address, const char* why) {
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

void ZorviServer::Start() {
    maxConnections_ = CapWithinDescriptors(config_.maxConnections, log_);
    std::string error;
    loginAcceptor_ = Listen(config_.loginPort, error);
    if (!loginAcceptor_) {
        throw std::runtime_error("cannot listen on login port " +
                                 std::to_string(config_.loginPort) + ": " + error);
    }
    serviceAcceptor_ = Listen(config_.servicePort, error);
    if (!serviceAcceptor_) {
        throw std::runtime_error("cannot listen on service port " +
                                 std::to_string(config_.servicePort) + ": " + error);
    }
    loginPort_ = loginAcceptor_->local_endpoint().port();
    servicePort_ = serviceAcceptor_->local_endpoint().port();
    Accept(loginAcceptor_, [this](asio::ip::tcp::socket s, std::string address) {
        return std::make_shared<LoginConnection>(std::move(s), std::move(address),
                                                 ExchangeLimits(config_, tls_), *this);
    });
    Accept(serviceAcceptor_, [this](asio::ip::tcp::socket s, std::string address) {
        return std::make_shared<ServiceConnection>(std::move(s), std::move(address),
                                                   ExchangeLimits(config_, tls_), *this);
    });
    if (!host_.OpenPermanentRooms()) throw std::runtime_error("cannot open the permanent rooms");
    ScheduleSweep();
}

void ZorviServer::ScheduleSweep() {
    const auto interval = std::clamp(config_.emptyRoomGrace / 4, std::chrono::milliseconds(20),
                                     std::chrono::milliseconds(1000));
    sweepTimer_.expires_after(interval);
    sweepTimer_.async_wait([this](asio::error_code ec) {
        if (ec || stopping_) return;
        host_.Sweep();
        const auto now = Now();
        connectRate_.Forget(now);
        logins_.Forget(now);
        if (refusalsNotLogged_ > 0 && now - *lastRefusalLogged_ >= kRefusalLogInterval) {
            log_.Line(std::to_string(refusalsNotLogged_) + " more connections refused");
            lastRefusalLogged_ = now;
            refusalsNotLogged_ = 0;
        }
        ScheduleSweep();
    });
}

int ZorviServer::OpenChatPort() {
    if (stopping_) return -1;
    std::string error;
    if (config_.EphemeralChatPorts()) {
        auto acceptor = Listen(0, error);
        if (!acceptor) return -1;
        const int port = acceptor->local_endpoint().port();
        chatAcceptors_[port] = acceptor;
        Accept(acceptor, [this, port](asio::ip::tcp::socket s, std::string address) {
            return std::make_shared<ChatConnection>(std::move(s), std::move(address),
                                                    ChatLimits(config_, tls_), *this, port);
        });
        return port;
    }
    // Walk the range from where the last search stopped, skipping ports in use.
    const int span = config_.chatPortLast - config_.chatPortFirst + 1;
    for (int tries = 0; tries < span; ++tries) {
        const int port = nextChatPort_;
        nextChatPort_ = port >= config_.chatPortLast ? config_.chatPortFirst : port + 1;
        if (chatAcceptors_.count(port)) continue;
        auto acceptor = Listen(port, error);
        if (!acceptor) continue;
        chatAcceptors_[port] = acceptor;
        Accept(acceptor, [this, port](asio::ip::tcp::socket s, std::string address) {
            return std::make_shared<ChatConnection>(std::move(s), std::move(address),
                                                    ChatLimits(config_, tls_), *this, port);
        });
        return port;
    }
    return -1;
}

void ZorviServer::CloseChatPort(int port) {
    auto it = chatAcceptors_.find(port);
    if (it == chatAcceptors_.end()) return;
    asio::error_code ec;
    it->second->close(ec);
    chatAcceptors_.erase(it);
}

void ZorviServer::Opened(Connection& c) {
    ++perAddress_[c.Address()];
    open_.insert(&c);
}

void ZorviServer::Closed(Connection& c) {
    open_.erase(&c);
    auto it = perAddress_.find(c.Address());
    if (it != perAddress_.end() && --it->second <= 0) perAddress_.erase(it);
}

void ZorviServer::PostToWorker(std::function<void()> job) { asio::post(workers_, std::move(job)); }

void ZorviServer::Stop() {
    if (stopping_) return;
    log_.Line("stopping: telling every chat client the connection ends");
    host_.CloseAll();
    stopping_ = true;
    asio::error_code ec;
    sweepTimer_.cancel();
    if (loginAcceptor_) loginAcceptor_->close(ec);
    if (serviceAcceptor_) serviceAcceptor_->close(ec);
    for (auto& [port, acceptor] : chatAcceptors_) acceptor->close(ec);
    chatAcceptors_.clear();
    const std::vector<Connection*> open(open_.begin(), open_.end());
    for (Connection* c : open) {
        if (!c->Closing()) c->Abort("service stopping");
    }
}

}  // namespace zorvid
