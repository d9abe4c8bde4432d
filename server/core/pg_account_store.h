#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "server/core/account_store.h"
#include "server/core/pg_pool.h"

namespace zorvid {

// The accounts in PostgreSQL, shared by every node of a cluster. Names are kept as bytes
// (bytea), as SQLite keeps them, whatever the database's encoding. The table is made on
// first use; a failed or timed-out call throws DbError.
class PgAccountStore : public AccountStore {
public:
    PgAccountStore(std::shared_ptr<PgPool> pool, unsigned long long opsLimit, std::size_t memLimit,
                   std::size_t maxNameBytes, const HashLimits& hashLimits = {});

protected:
    bool LookUp(const std::string& name, std::string& hash) override;
    // Answers true only once the row is committed.
    bool Insert(const std::string& name, const std::string& hash) override;
    bool Update(const std::string& name, const std::string& hash) override;

private:
    void Call(const PgPool::Work& work);

    std::shared_ptr<PgPool> pool_;
    std::atomic<bool> schemaReady_{false};
};

}  // namespace zorvid
