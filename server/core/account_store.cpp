#include "server/core/account_store.h"

#include <sodium.h>

#include <stdexcept>

#include "server/core/pg_account_store.h"
#include "server/core/pg_pool.h"
#include "server/core/sqlite_account_store.h"

namespace zorvid {
namespace {

constexpr std::size_t kMaxPasswordBytes = 256;

}  // namespace

AccountStore::AccountStore(unsigned long long opsLimit, std::size_t memLimit,
                           std::size_t maxNameBytes, const HashLimits& hashLimits)
    : opsLimit_(opsLimit ? opsLimit : crypto_pwhash_OPSLIMIT_INTERACTIVE),
      memLimit_(memLimit ? memLimit : crypto_pwhash_MEMLIMIT_INTERACTIVE),
      maxNameBytes_(maxNameBytes),
      gate_(hashLimits) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
}

AccountStore::~AccountStore() = default;

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

std::unique_ptr<AccountStore> OpenAccountStore(const std::string& db, unsigned long long opsLimit,
                                               std::size_t memLimit, std::size_t maxNameBytes,
                                               const HashLimits& hashLimits,
                                               std::chrono::milliseconds dbTimeout) {
    if (IsPostgresUri(db)) {
        return std::make_unique<PgAccountStore>(std::make_shared<PgPool>(db, dbTimeout), opsLimit,
                                                memLimit, maxNameBytes, hashLimits);
    }
    return std::make_unique<SqliteAccountStore>(db, opsLimit, memLimit, maxNameBytes, hashLimits);
}

}  // namespace zorvid
