#pragma once

#include <chrono>
#include <functional>

#include "app/password_keyring.h"

// The keyring through QtKeychain, under the service name "Zorvi". A call waits at most
// `timeout` for the keyring's answer, running `waitHook` meanwhile so the window repaints.
// The default leaves the user time to answer the keyring's own unlock prompt.
class QtKeychain : public IPasswordKeyring {
public:
    explicit QtKeychain(std::function<void()> waitHook,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(30000));
    Status Read(const QString& userName, QString& password) override;
    Status Write(const QString& userName, const QString& password) override;

private:
    std::function<void()> waitHook_;
    std::chrono::milliseconds timeout_;
};
