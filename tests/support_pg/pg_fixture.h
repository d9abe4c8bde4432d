#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace zorvid::test {

// A PostgreSQL of the test's own (scripts/pg-throwaway.sh) in a temporary folder, on a free
// loopback port. The constructor starts it and throws std::runtime_error with the script's
// message when it cannot (no PostgreSQL installed, say); the destructor stops it and removes
// the folder, also when the test fails.
class ThrowawayPostgres {
public:
    ThrowawayPostgres();
    ~ThrowawayPostgres();
    ThrowawayPostgres(const ThrowawayPostgres&) = delete;
    ThrowawayPostgres& operator=(const ThrowawayPostgres&) = delete;

    const std::string& Uri() const { return uri_; }
    int Port() const { return port_; }

    // Stops the server, keeping its data; Start brings it back on the same port.
    void Stop();
    void Start();

private:
    std::string RunScript(const std::vector<std::string>& args);

    std::filesystem::path base_;
    std::filesystem::path dataDir_;
    int port_ = 0;
    std::string uri_;
};

// A loopback port free at the moment of asking.
int FreeLoopbackPort();

}  // namespace zorvid::test
