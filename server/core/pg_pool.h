#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace pqxx {
class connection_base;
}

namespace zorvid {

// A call into PostgreSQL failed or ran out of time; the message is one line.
struct DbError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A few connections to one PostgreSQL database, shared by the threads that call in (the
// login workers, the web site's form workers, the cluster's bookkeeping). A pool rather than
// one locked connection so that a slow statement or a connection attempt against a vanished
// server holds up only its own caller. Every wait is bounded by `timeout`: for a free
// connection here, and on each connection the connect, each statement (statement_timeout)
// and unanswered TCP traffic (keep-alives and tcp_user_timeout). Connections open on demand,
// so the service starts while the database is away and recovers by itself when it returns.
class PgPool {
public:
    using Work = std::function<void(pqxx::connection_base&)>;

    PgPool(std::string uri, std::chrono::milliseconds timeout, std::size_t size = 4);
    ~PgPool();
    PgPool(const PgPool&) = delete;
    PgPool& operator=(const PgPool&) = delete;

    // Runs `work` on a connection of its own; database failures come out as DbError. A
    // connection that was idle and turns out broken (the server restarted) is dropped with
    // every other idle one, and `work` runs once more on a new connection: it must be one
    // transaction or otherwise safe to repeat after a failure before its commit.
    void Run(const Work& work);

    std::chrono::milliseconds Timeout() const { return timeout_; }
    std::size_t OpenConnections() const;

private:
    struct Connection;  // a pqxx::connection
    struct Lease {
        std::unique_ptr<Connection> connection;
        bool fresh = false;
    };
    Lease Take();
    void Give(Lease lease);
    void Drop(Lease lease, bool dropIdleToo);

    const std::string conninfo_;
    const std::chrono::milliseconds timeout_;
    const std::size_t size_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<Connection>> idle_;
    std::size_t open_ = 0;  // idle and lent out
};

// Creates tables with `ddl` (CREATE ... IF NOT EXISTS) in one transaction. Nodes starting at
// once take turns: concurrent CREATE TABLE IF NOT EXISTS of one table can still collide.
void CreateSchema(pqxx::connection_base& db, const std::string& ddl);

// "postgresql://..." and "postgres://..." name a PostgreSQL database.
bool IsPostgresUri(const std::string& text);

// The URI without its password (user:password@ and password=), for log lines.
std::string RedactedUri(const std::string& uri);

// The URI with the pool's bounds added as connection parameters.
std::string BoundedConninfo(const std::string& uri, std::chrono::milliseconds timeout);

}  // namespace zorvid
