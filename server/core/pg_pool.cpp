#include "server/core/pg_pool.h"

#include <poll.h>

#include <algorithm>
#include <pqxx/pqxx>

namespace zorvid {
namespace {

// libpq's messages run over several lines; a log line wants one.
DbError Failure(const std::exception& e) {
    std::string text;
    for (char c : std::string_view(e.what())) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (blank && (text.empty() || text.back() == ' ')) continue;
        text += blank ? ' ' : c;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return DbError("database: " + text);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

struct PgPool::Connection {
    explicit Connection(const std::string& conninfo) : db(conninfo) {}
    pqxx::connection db;
};

void CreateSchema(pqxx::connection_base& db, const std::string& ddl) {
    constexpr long long kSchemaLock = 0x7a6f727669;  // "zorvi"
    pqxx::work tx(db);
    tx.exec_params("SELECT pg_advisory_xact_lock($1)", kSchemaLock);
    tx.exec(ddl);
    tx.commit();
}

bool IsPostgresUri(const std::string& text) {
    return StartsWith(text, "postgresql://") || StartsWith(text, "postgres://");
}

std::string RedactedUri(const std::string& uri) {
    std::string out = uri;
    const auto scheme = out.find("://");
    if (scheme == std::string::npos) return out;
    const auto start = scheme + 3;
    const auto end = std::min(out.find_first_of("/?#", start), out.size());
    const auto at = out.rfind('@', end == 0 ? 0 : end - 1);
    if (at != std::string::npos && at >= start) {
        const auto colon = out.find(':', start);
        if (colon < at) out.replace(colon + 1, at - colon - 1, "***");
    }
    for (auto pos = out.find("password="); pos != std::string::npos;
         pos = out.find("password=", pos + 1)) {
        if (pos == 0 || (out[pos - 1] != '?' && out[pos - 1] != '&')) continue;
        const auto value = pos + 9;
        const auto stop = std::min(out.find('&', value), out.size());
        out.replace(value, stop - value, "***");
    }
    return out;
}

std::string BoundedConninfo(const std::string& uri, std::chrono::milliseconds timeout) {
    const long long ms = std::max<long long>(timeout.count(), 1);
    const long long seconds = std::max<long long>((ms + 999) / 1000, 1);
    // A silent peer is given up after about `timeout`: keep-alive probes once a second
    // after half of it, and unacknowledged data for no longer than all of it.
    const long long probes = std::max<long long>(seconds / 2, 1);
    return uri + (uri.find('?') == std::string::npos ? "?" : "&") +
           "connect_timeout=" + std::to_string(seconds) +
           "&keepalives=1&keepalives_idle=" + std::to_string(probes) +
           "&keepalives_interval=1&keepalives_count=" + std::to_string(probes) +
           "&tcp_user_timeout=" + std::to_string(ms);
}

PgPool::PgPool(std::string uri, std::chrono::milliseconds timeout, std::size_t size)
    : conninfo_(BoundedConninfo(uri, timeout)),
      timeout_(timeout),
      size_(std::max<std::size_t>(size, 1)) {}

PgPool::~PgPool() = default;

std::size_t PgPool::OpenConnections() const {
    std::lock_guard lock(mutex_);
    return open_;
}

PgPool::Lease PgPool::Take() {
    std::vector<std::unique_ptr<Connection>> closed;  // closed after the lock is let go
    std::unique_lock lock(mutex_);
    if (!freed_.wait_for(lock, timeout_, [this] { return !idle_.empty() || open_ < size_; }))
        throw DbError("database: no connection came free in time");
    // An idle connection has nothing to read: if it has, the server has closed it (it was
    // restarted or ended the session). Such a one is not tried: libpqxx would try to bring
    // it back itself, and loses memory doing so.
    while (!idle_.empty()) {
        auto connection = std::move(idle_.back());
        idle_.pop_back();
        pollfd socket{connection->db.sock(), POLLIN, 0};
        if (socket.fd >= 0 && ::poll(&socket, 1, 0) == 0)
            return Lease{std::move(connection), false};
        closed.push_back(std::move(connection));
        --open_;
    }
    ++open_;
    lock.unlock();
    try {
        auto connection = std::make_unique<Connection>(conninfo_);
        connection->db.set_variable("statement_timeout", std::to_string(timeout_.count()));
        return Lease{std::move(connection), true};
    } catch (...) {
        lock.lock();
        --open_;
        freed_.notify_one();
        try {
            throw;
        } catch (const pqxx::failure& e) {
            throw Failure(e);
        }
    }
}

void PgPool::Give(Lease lease) {
    {
        std::lock_guard lock(mutex_);
        idle_.push_back(std::move(lease.connection));
    }
    freed_.notify_one();
}

void PgPool::Drop(Lease lease, bool dropIdleToo) {
    std::vector<std::unique_ptr<Connection>> closing;
    closing.push_back(std::move(lease.connection));
    {
        std::lock_guard lock(mutex_);
        if (dropIdleToo) {
            for (auto& c : idle_) closing.push_back(std::move(c));
            idle_.clear();
        }
        open_ -= closing.size();
    }
    freed_.notify_all();
    // `closing` goes out of scope here, outside the lock.
}

void PgPool::Run(const Work& work) {
    for (bool retried = false;; retried = true) {
        Lease lease = Take();
        try {
            work(lease.connection->db);
        } catch (const pqxx::broken_connection& e) {
            const bool again = !lease.fresh && !retried;
            Drop(std::move(lease), true);
            if (again) continue;
            throw Failure(e);
        } catch (const pqxx::failure& e) {
            if (lease.connection->db.is_open()) {
                Give(std::move(lease));
            } else {
                Drop(std::move(lease), false);
            }
            throw Failure(e);
        } catch (...) {
            if (lease.connection->db.is_open()) {
                Give(std::move(lease));
            } else {
                Drop(std::move(lease), false);
            }
            throw;
        }
        Give(std::move(lease));
        return;
    }
}

}  // namespace zorvid
