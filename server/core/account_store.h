#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "server/core/hash_gate.h"

struct sqlite3;

namespace zorvid {

enum class LoginOutcome { Accepted, Created, Refused };
enum class RegisterOutcome { Created, NameTaken, BadName, BadPassword };
enum class PasswordChangeOutcome { Changed, Refused, BadPassword };

// The accounts: names and Argon2id password hashes in SQLite. Safe to use from several
// threads (the event loop's worker and the web site); the hashing runs outside the lock,
// through a gate that bounds how many hashes run and wait (HashBusy when it is full).
class AccountStore {
public:
    AccountStore(const std::string& path, unsigned long long opsLimit, std::size_t memLimit,
                 std::size_t maxNameBytes, const HashLimits& hashLimits = {});
    ~AccountStore();
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

private:
    std::string Hash(const std::string& password);
    bool Verify(const std::string& hash, const std::string& password);
    bool LookUp(const std::string& name, std::string& hash);
    bool Insert(const std::string& name, const std::string& hash);
    bool Update(const std::string& name, const std::string& hash);

    sqlite3* db_ = nullptr;
    std::mutex mutex_;
    unsigned long long opsLimit_;
    std::size_t memLimit_;
    std::size_t maxNameBytes_;
    HashGate gate_;
};

}  // namespace zorvid
