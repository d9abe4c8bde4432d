#include "server/core/pg_room_ledger.h"

#include <optional>
#include <pqxx/pqxx>
#include <stdexcept>

namespace zorvid {
namespace {

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS rooms(name BYTEA PRIMARY KEY, port INTEGER NOT NULL UNIQUE, "
    "home TEXT NOT NULL)";

// Each lost race means another claim succeeded, so the tries run out only when this many
// nodes claim in the same moment.
constexpr int kClaimTries = 32;

}  // namespace

PgRoomLedger::PgRoomLedger(std::shared_ptr<PgPool> pool) : pool_(std::move(pool)) {}

void PgRoomLedger::Call(const PgPool::Work& work) {
    pool_->Run([&](pqxx::connection_base& db) {
        if (!schemaReady_) {
            CreateSchema(db, kSchema);
            schemaReady_ = true;
        }
        work(db);
    });
}

PgRoomLedger::ClaimResult PgRoomLedger::Claim(const std::string& name, int firstPort, int lastPort,
                                              const std::string& node) {
    if (firstPort < 1 || lastPort > 65535 || firstPort > lastPort)
        throw std::invalid_argument("a room's port range must lie within 1..65535");
    const pqxx::binarystring key(name);
    for (int attempt = 0; attempt < kClaimTries; ++attempt) {
        std::optional<ClaimResult> result;
        Call([&](pqxx::connection_base& db) {
            result.reset();
            pqxx::work tx(db);
            // The unique name and port make the insert the arbiter: a claim racing for the
            // same name or port waits for the other's commit and then inserts nothing.
            const auto inserted = tx.exec_params(
                "INSERT INTO rooms(name, port, home) "
                "SELECT $1, p, $4 FROM generate_series($2::integer, $3::integer) AS p "
                "WHERE NOT EXISTS (SELECT 1 FROM rooms WHERE rooms.port = p) "
                "ORDER BY p LIMIT 1 ON CONFLICT DO NOTHING RETURNING port",
                key, firstPort, lastPort, node);
            if (!inserted.empty()) {
                tx.commit();
                result = ClaimResult{Outcome::Claimed, inserted[0][0].as<int>()};
                return;
            }
            // Each statement sees what was committed before it began, the winner included.
            if (!tx.exec_params("SELECT 1 FROM rooms WHERE name = $1", key).empty()) {
                result = ClaimResult{Outcome::NameTaken};
            } else if (tx.exec_params("SELECT 1 FROM generate_series($1::integer, $2::integer) "
                                      "AS p WHERE NOT EXISTS "
                                      "(SELECT 1 FROM rooms WHERE rooms.port = p) LIMIT 1",
                                      firstPort, lastPort)
                           .empty()) {
                result = ClaimResult{Outcome::NoFreePort};
            }
            // Otherwise another claim took the port first: try the next free one.
        });
        if (result) return *result;
    }
    throw DbError("database: too many rooms claimed at once; try again");
}

bool PgRoomLedger::Release(const std::string& name, const std::string& node) {
    bool released = false;
    Call([&](pqxx::connection_base& db) {
        pqxx::work tx(db);
        const auto result = tx.exec_params("DELETE FROM rooms WHERE name = $1 AND home = $2",
                                           pqxx::binarystring(name), node);
        tx.commit();
        released = result.affected_rows() == 1;
    });
    return released;
}

bool PgRoomLedger::SetHome(const std::string& name, const std::string& node) {
    bool moved = false;
    Call([&](pqxx::connection_base& db) {
        pqxx::work tx(db);
        const auto result = tx.exec_params("UPDATE rooms SET home = $2 WHERE name = $1",
                                           pqxx::binarystring(name), node);
        tx.commit();
        moved = result.affected_rows() == 1;
    });
    return moved;
}

bool PgRoomLedger::TakeOver(const std::string& name, const std::string& from,
                            const std::string& to) {
    bool moved = false;
    Call([&](pqxx::connection_base& db) {
        pqxx::work tx(db);
        const auto result =
            tx.exec_params("UPDATE rooms SET home = $3 WHERE name = $1 AND home = $2",
                           pqxx::binarystring(name), from, to);
        tx.commit();
        moved = result.affected_rows() == 1;
    });
    return moved;
}

std::vector<PgRoomLedger::Row> PgRoomLedger::Rooms() {
    std::vector<Row> rows;
    Call([&](pqxx::connection_base& db) {
        rows.clear();
        pqxx::read_transaction tx(db);
        for (const auto& row : tx.exec("SELECT name, port, home FROM rooms ORDER BY port")) {
            const pqxx::binarystring name(row[0]);
            rows.push_back({name.str(), row[1].as<int>(), row[2].as<std::string>()});
        }
    });
    return rows;
}

std::optional<std::string> PgRoomLedger::HomeOf(const std::string& name) {
    std::optional<std::string> home;
    Call([&](pqxx::connection_base& db) {
        home.reset();
        pqxx::read_transaction tx(db);
        const auto result =
            tx.exec_params("SELECT home FROM rooms WHERE name = $1", pqxx::binarystring(name));
        if (!result.empty()) home = result[0][0].as<std::string>();
    });
    return home;
}

}  // namespace zorvid
