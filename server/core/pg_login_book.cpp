#include "server/core/pg_login_book.h"

#include <pqxx/pqxx>

namespace zorvid {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS logins(name BYTEA NOT NULL, address TEXT NOT NULL, "
    "at TIMESTAMPTZ NOT NULL, PRIMARY KEY(name, address))";

}  // namespace

PgLoginBook::PgLoginBook(std::shared_ptr<PgPool> pool) : pool_(std::move(pool)) {}

void PgLoginBook::Call(const PgPool::Work& work) {
    pool_->Run([&](pqxx::connection_base& db) {
        if (!schemaReady_) {
            CreateSchema(db, kSchema);
            schemaReady_ = true;
        }
        work(db);
    });
}

void PgLoginBook::RecordLogin(const std::string& name, const std::string& address) {
    Call([&](pqxx::connection_base& db) {
        pqxx::work tx(db);
        tx.exec_params(
            "INSERT INTO logins(name, address, at) VALUES($1, $2, now()) "
            "ON CONFLICT (name, address) DO UPDATE SET at = now()",
            pqxx::binarystring(name), address);
        tx.commit();
    });
}

std::vector<PgLoginBook::Entry> PgLoginBook::RecentLogins(std::chrono::milliseconds maxAge) {
    std::vector<Entry> entries;
    Call([&](pqxx::connection_base& db) {
        entries.clear();
        pqxx::read_transaction tx(db);
        const auto rows = tx.exec_params(
            "SELECT name, address, (EXTRACT(EPOCH FROM now() - at) * 1000)::bigint AS age "
            "FROM logins WHERE at > now() - $1 * interval '1 millisecond' ORDER BY age",
            static_cast<long long>(maxAge.count()));
        for (const auto& row : rows) {
            const pqxx::binarystring name(row[0]);
            entries.push_back({name.str(), row[1].as<std::string>(),
                               std::chrono::milliseconds(row[2].as<long long>())});
        }
    });
    return entries;
}

std::size_t PgLoginBook::Forget(std::chrono::milliseconds maxAge) {
    std::size_t gone = 0;
    Call([&](pqxx::connection_base& db) {
        pqxx::work tx(db);
        const auto result =
            tx.exec_params("DELETE FROM logins WHERE at <= now() - $1 * interval '1 millisecond'",
                           static_cast<long long>(maxAge.count()));
        tx.commit();
        gone = result.affected_rows();
    });
    return gone;
}

}  // namespace zorvid
