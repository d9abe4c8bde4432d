#include "server/core/pg_account_store.h"

#include <pqxx/pqxx>

namespace zorvid {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS accounts(name BYTEA PRIMARY KEY, hash TEXT NOT NULL)";

}  // namespace

PgAccountStore::PgAccountStore(std::shared_ptr<PgPool> pool, unsigned long long opsLimit,
                               std::size_t memLimit, std::size_t maxNameBytes,
                               const HashLimits& hashLimits)
    : AccountStore(opsLimit, memLimit, maxNameBytes, hashLimits), pool_(std::move(pool)) {}

void PgAccountStore::Call(const PgPool::Work& work) {
    pool_->Run([&](pqxx::connection_base& db) {
        if (!schemaReady_) {
            CreateSchema(db, kSchema);
            schemaReady_ = true;
        }
        work(db);
    });
}

bool PgAccountStore::LookUp(const std::string& name, std::string& hash) {
    bool found = false;
    Call([&](pqxx::connection_base& db) {
        pqxx::read_transaction tx(db);
        const auto rows =
            tx.exec_params("SELECT hash FROM accounts WHERE name = $1", pqxx::binarystring(name));
        found = !rows.empty();
        if (found) hash = rows[0][0].as<std::string>();
    });
    return found;
}

bool PgAccountStore::Insert(const std::string& name, const std::string& hash) {
    bool inserted = false;
    Call([&](pqxx::connection_base& db) {
        pqxx::work tx(db);
        const auto result = tx.exec_params(
            "INSERT INTO accounts(name, hash) VALUES($1, $2) ON CONFLICT (name) DO NOTHING",
            pqxx::binarystring(name), hash);
        tx.commit();
        inserted = result.affected_rows() == 1;
    });
    return inserted;
}

bool PgAccountStore::Update(const std::string& name, const std::string& hash) {
    bool updated = false;
    Call([&](pqxx::connection_base& db) {
        pqxx::work tx(db);
        const auto result = tx.exec_params("UPDATE accounts SET hash = $2 WHERE name = $1",
                                           pqxx::binarystring(name), hash);
        tx.commit();
        updated = result.affected_rows() == 1;
    });
    return updated;
}

}  // namespace zorvid
