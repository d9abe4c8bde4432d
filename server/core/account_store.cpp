#include "server/core/account_store.h"

#include <sodium.h>
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

constexpr std::size_t kMaxPasswordBytes = 256;

}  // namespace

AccountStore::AccountStore(const std::string& path, unsigned long long opsLimit,
                           std::size_t memLimit, std::size_t maxNameBytes,
                           const HashLimits& hashLimits)
    : opsLimit_(opsLimit ? opsLimit : crypto_pwhash_OPSLIMIT_INTERACTIVE),
      memLimit_(memLimit ? memLimit : crypto_pwhash_MEMLIMIT_INTERACTIVE),
      maxNameBytes_(maxNameBytes),
      gate_(hashLimits) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
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

AccountStore::~AccountStore() { sqlite3_close(db_); }

bool AccountStore::ValidName(const std::string& name) const {
    if (name.empty() || name.size() > maxNameBytes_) return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return name.front() != ' ' && name.back() != ' ';
}

bool AccountStore::ValidPassword(const std::string& password) {
    return password.size() <= kMaxPasswordBytes;
}

std::string AccountStore::Hash(const std::string& password) {
    return gate_.Run([&] {
        char out[crypto_pwhash_STRBYTES];
        if (crypto_pwhash_str(out, password.data(), password.size(), opsLimit_, memLimit_) != 0) {
            throw std::runtime_error("password hashing ran out of memory");
        }
        return std::string(out);
    });
}

// Checking costs the same memory as hashing, so it passes the same gate.
bool AccountStore::Verify(const std::string& hash, const std::string& password) {
    return gate_.Run([&] {
        return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
    });
}

bool AccountStore::LookUp(const std::string& name, std::string& hash) {
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

bool AccountStore::Insert(const std::string& name, const std::string& hash) {
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

bool AccountStore::Update(const std::string& name, const std::string& hash) {
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

bool AccountStore::Exists(const std::string& name) {
    std::string hash;
    return LookUp(name, hash);
}

LoginOutcome AccountStore::Login(const std::string& name, const std::string& password,
                                 bool openRegistration) {
    if (!ValidName(name) || !ValidPassword(password)) return LoginOutcome::Refused;
    std::string hash;
    if (LookUp(name, hash)) {
        return Verify(hash, password) ? LoginOutcome::Accepted : LoginOutcome::Refused;
    }
    if (!openRegistration) return LoginOutcome::Refused;
    // Two first logins of one name may race; the loser is checked against the winner's hash.
    if (Insert(name, Hash(password))) return LoginOutcome::Created;
    if (LookUp(name, hash) && Verify(hash, password)) return LoginOutcome::Accepted;
    return LoginOutcome::Refused;
}

RegisterOutcome AccountStore::Register(const std::string& name, const std::string& password) {
    if (!ValidName(name)) return RegisterOutcome::BadName;
    if (password.empty() || !ValidPassword(password)) return RegisterOutcome::BadPassword;
    if (Exists(name)) return RegisterOutcome::NameTaken;
    return Insert(name, Hash(password)) ? RegisterOutcome::Created : RegisterOutcome::NameTaken;
}

PasswordChangeOutcome AccountStore::ChangePassword(const std::string& name,
                                                   const std::string& oldPassword,
                                                   const std::string& newPassword) {
    if (newPassword.empty() || !ValidPassword(newPassword))
        return PasswordChangeOutcome::BadPassword;
    std::string hash;
    if (!ValidPassword(oldPassword) || !LookUp(name, hash) || !Verify(hash, oldPassword)) {
        return PasswordChangeOutcome::Refused;
    }
    return Update(name, Hash(newPassword)) ? PasswordChangeOutcome::Changed
                                           : PasswordChangeOutcome::Refused;
}

}  // namespace zorvid
