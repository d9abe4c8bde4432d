#pragma once

#include <QString>

// The desktop's keyring (a Secret Service) as far as the saved password needs it: one
// secret per user name. Every call gives up after a bounded wait.
class IPasswordKeyring {
public:
    enum class Status {
        Ok,
        NotFound,     // the keyring works, but holds nothing for the name
        Unavailable,  // no keyring, it refused, or it did not answer in time
    };
    virtual ~IPasswordKeyring() = default;
    virtual Status Read(const QString& userName, QString& password) = 0;
    virtual Status Write(const QString& userName, const QString& password) = 0;
};
