#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "server/core/pg_pool.h"

namespace zorvid {

// The cluster's shared book of logins: a login made on one node lets its person join a room
// homed on any node, and a starting node reads the fresh ones. Times are the database's, so
// the nodes' clocks need not agree. Calls throw DbError.
class PgLoginBook {
public:
    struct Entry {
        std::string name;
        std::string address;
        std::chrono::milliseconds age;
    };

    explicit PgLoginBook(std::shared_ptr<PgPool> pool);

    void RecordLogin(const std::string& name, const std::string& address);
    // Logins younger than `maxAge`, youngest first.
    std::vector<Entry> RecentLogins(std::chrono::milliseconds maxAge);
    // Deletes the logins older than `maxAge` (run now and then, or the book only grows);
    // answers how many went.
    std::size_t Forget(std::chrono::milliseconds maxAge);

private:
    void Call(const PgPool::Work& work);

    std::shared_ptr<PgPool> pool_;
    std::atomic<bool> schemaReady_{false};
};

}  // namespace zorvid
