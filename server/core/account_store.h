#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "server/core/hash_gate.h"

namespace zorvid {

enum class LoginOutcome { Accepted, Created, Refused };
enum class RegisterOutcome { Created, NameTaken, BadName, BadPassword };
enum class PasswordChangeOutcome { Changed, Refused, BadPassword };

// The accounts: names and Argon2id password hashes. The rules and the hashing live here,
// the storage in a backend (SQLite on one machine, PostgreSQL for a cluster). Safe to use
// from several threads (the event loop's workers and the web site); the hashing runs outside
// the backend, through a gate that bounds how many hashes run and wait (HashBusy when it is
// full). A backend that cannot answer throws; nothing is answered done that is not stored.
class AccountStore {
public:
    virtual ~AccountStore();
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    // With open registration an unknown name is created with this password.
    LoginOutcome Login(const std::string& name, const std::string& password, bool openRegistration);
    RegisterOutcome Register(const std::string& name, const std::string& password);
    PasswordChangeOutcome ChangePassword(const std::string& name, const std::string& oldPassword,
                                         const std::string& newPassword);
    bool Exists(const std::string& name);

    // A name is 1..maxNameBytes bytes, no control characters, no blank at either end.
    bool ValidName(const std::string& name) const;
    static bool ValidPassword(const std::string& password);

    const HashGate& Gate() const { return gate_; }

protected:
    AccountStore(unsigned long long opsLimit, std::size_t memLimit, std::size_t maxNameBytes,
                 const HashLimits& hashLimits);

    // The backend. LookUp answers false for an unknown name, Insert false for a taken one,
    // Update false for a missing one.
    virtual bool LookUp(const std::string& name, std::string& hash) = 0;
    virtual bool Insert(const std::string& name, const std::string& hash) = 0;
    virtual bool Update(const std::string& name, const std::string& hash) = 0;

private:
    std::string Hash(const std::string& password);
    bool Verify(const std::string& hash, const std::string& password);

    unsigned long long opsLimit_;
    std::size_t memLimit_;
    std::size_t maxNameBytes_;
    HashGate gate_;
};

// The accounts in `db`: a postgresql:// or postgres:// URI names a PostgreSQL database
// (each call bounded by `dbTimeout`), anything else an SQLite file.
std::unique_ptr<AccountStore> OpenAccountStore(const std::string& db, unsigned long long opsLimit,
                                               std::size_t memLimit, std::size_t maxNameBytes,
                                               const HashLimits& hashLimits,
                                               std::chrono::milliseconds dbTimeout);

}  // namespace zorvid
