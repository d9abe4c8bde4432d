#include "server/core/sqlite_account_store.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>

namespace zorvid {
namespace {

// Finalises a prepared statement however the function leaves.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

}  // namespace

SqliteAccountStore::SqliteAccountStore(const std::string& path, unsigned long long opsLimit,
                                       std::size_t memLimit, std::size_t maxNameBytes,
                                       const HashLimits& hashLimits)
    : AccountStore(opsLimit, memLimit, maxNameBytes, hashLimits) {
    const auto parent = std::filesystem::path(path).parent_path();
    std::error_code ec;
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        const std::string why = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("cannot open account database " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, 2000);
    char* err = nullptr;
    if (sqlite3_exec(db_,
                     "CREATE TABLE IF NOT EXISTS accounts("
                     "name TEXT PRIMARY KEY NOT NULL, hash TEXT NOT NULL)",
                     nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string why = err ? err : "unknown error";
        sqlite3_free(err);
        sqlite3_close(db_);
        throw std::runtime_error("cannot prepare account database " + path + ": " + why);
    }
}

SqliteAccountStore::~SqliteAccountStore() { sqlite3_close(db_); }

bool SqliteAccountStore::LookUp(const std::string& name, std::string& hash) {
    std::lock_guard lock(mutex_);
    Statement s;
    if (sqlite3_prepare_v2(db_, "SELECT hash FROM accounts WHERE name = ?1", -1, &s.stmt,
                           nullptr) != SQLITE_OK) {
        return false;
    }
    sqlite3_bind_text(s.stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.stmt) != SQLITE_ROW) return false;
    const auto* text = sqlite3_column_text(s.stmt, 0);
    hash.assign(text ? reinterpret_cast<const char*>(text) : "");
    return true;
}

bool SqliteAccountStore::Insert(const std::string& name, const std::string& hash) {
    std::lock_guard lock(mutex_);
    Statement s;
    if (sqlite3_prepare_v2(db_, "INSERT INTO accounts(name, hash) VALUES(?1, ?2)", -1, &s.stmt,
                           nullptr) != SQLITE_OK) {
        return false;
    }
    sqlite3_bind_text(s.stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s.stmt, 2, hash.data(), static_cast<int>(hash.size()), SQLITE_TRANSIENT);
    return sqlite3_step(s.stmt) == SQLITE_DONE;  // a taken name fails the primary key
}

bool SqliteAccountStore::Update(const std::string& name, const std::string& hash) {
    std::lock_guard lock(mutex_);
    Statement s;
    if (sqlite3_prepare_v2(db_, "UPDATE accounts SET hash = ?2 WHERE name = ?1", -1, &s.stmt,
                           nullptr) != SQLITE_OK) {
        return false;
    }
    sqlite3_bind_text(s.stmt, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s.stmt, 2, hash.data(), static_cast<int>(hash.size()), SQLITE_TRANSIENT);
    return sqlite3_step(s.stmt) == SQLITE_DONE && sqlite3_changes(db_) == 1;
}

}  // namespace zorvid
