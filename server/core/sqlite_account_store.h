#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "server/core/account_store.h"

struct sqlite3;

namespace zorvid {

// The accounts in one SQLite file, for a service on one machine. A database error reads as
// a missing name or a failed write.
class SqliteAccountStore : public AccountStore {
public:
    SqliteAccountStore(const std::string& path, unsigned long long opsLimit, std::size_t memLimit,
                       std::size_t maxNameBytes, const HashLimits& hashLimits = {});
    ~SqliteAccountStore() override;

protected:
    bool LookUp(const std::string& name, std::string& hash) override;
    bool Insert(const std::string& name, const std::string& hash) override;
    bool Update(const std::string& name, const std::string& hash) override;

private:
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
};

}  // namespace zorvid
