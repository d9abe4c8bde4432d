#pragma once

#include <asio.hpp>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "server/core/account_store.h"
#include "server/core/address_rate_limit.h"
#include "server/core/chat_host.h"
#include "server/core/connection.h"
#include "server/core/event_log.h"
#include "server/core/login_registry.h"
#include "server/core/output_batch.h"
#include "server/core/participant.h"
#include "server/core/server_config.h"

namespace zorvid {

// The service's sockets on one event loop: the login port, the service port and one chat
// port per room, feeding the chat host. Password hashing runs on a small worker pool so
// that a login never stalls the rooms.
class ZorviServer final : public ChatPortProvider, public ConnectionTracker {
public:
    // `clock` defaults to the steady clock; tests pass their own to step through back-offs.
    ZorviServer(asio::io_context& io, const ServerConfig& config, AccountStore& accounts,
                EventLog& log, ChatHost::Clock clock = {});
    ~ZorviServer() override;

    // Binds the login and service ports and opens the permanent rooms; throws
    // std::runtime_error with a clear message when a port cannot be bound.
    void Start();
    // Tells every chat client {13, 25}, closes all connections and listeners; the event
    // loop then runs out of work.
    void Stop();

    int LoginPort() const { return loginPort_; }
    int ServicePort() const { return servicePort_; }
    ChatHost& Host() { return host_; }
    AccountStore& Accounts() { return accounts_; }
    const ServerConfig& Config() const { return config_; }
    asio::io_context& Io() { return io_; }
    void PostToWorker(std::function<void()> job);
    ChatHost::TimePoint Now() const { return clock_(); }
    LoginThrottle& Logins() { return logins_; }

    int OpenChatPort() override;
    void CloseChatPort(int port) override;

    void Opened(Connection& c) override;
    void Closed(Connection& c) override;
    void Log(std::string_view line) override { log_.Line(line); }
    void Log(std::string_view line, std::initializer_list<LogField> fields) {
        log_.Line(line, fields);
    }
    OutputBatch& Output() override { return output_; }

private:
    using Factory = std::function<std::shared_ptr<Connection>(asio::ip::tcp::socket, std::string)>;
    std::shared_ptr<asio::ip::tcp::acceptor> Listen(int port, std::string& error);
    void Accept(std::shared_ptr<asio::ip::tcp::acceptor> acceptor, Factory factory);
    void ScheduleSweep();
    // Why a new connection from `address` is turned away, or nullptr when it may come in.
    const char* Refusal(const std::string& address);
    void LogRefusal(const std::string& address, const char* why);

    asio::io_context& io_;
    const ServerConfig& config_;
    AccountStore& accounts_;
    EventLog& log_;
    ChatHost::Clock clock_;
    OutputBatch output_;
    ChatHost host_;
    asio::thread_pool workers_{2};
    asio::steady_timer sweepTimer_;
    asio::ip::address bindAddress_;
    std::shared_ptr<const TlsContext> tls_;  // null: plain text only

    int loginPort_ = -1;
    int servicePort_ = -1;
    int nextChatPort_ = 0;
    bool stopping_ = false;
    std::shared_ptr<asio::ip::tcp::acceptor> loginAcceptor_;
    std::shared_ptr<asio::ip::tcp::acceptor> serviceAcceptor_;
    std::unordered_map<int, std::shared_ptr<asio::ip::tcp::acceptor>> chatAcceptors_;
    std::unordered_map<std::string, int> perAddress_;
    std::unordered_set<Connection*> open_;

    // Admission limits (ServerConfig's block of the same name).
    int maxConnections_ = 0;  // the configured cap, lowered to fit the descriptor limit
    AddressRateLimit connectRate_;
    LoginThrottle logins_;
    std::optional<ChatHost::TimePoint> lastRefusalLogged_;
    int refusalsNotLogged_ = 0;
};

}  // namespace zorvid
