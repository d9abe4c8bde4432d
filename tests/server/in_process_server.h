#pragma once

#include <gtest/gtest.h>
#include <sodium.h>

#include <asio.hpp>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "server/core/sqlite_account_store.h"
#include "server/core/zorvi_server.h"
#include "tests/server/test_client.h"

namespace zorvid::test {

// A fixture running zorvid in this process on its own loop, on free loopback ports, with its
// accounts in a throwaway SQLite file named after the test. Derived fixtures adjust `config`
// in their SetUp, after this one's, and start the service when they are ready.
template <typename Base = ::testing::Test>
class InProcessServer : public Base {
protected:
    void SetUp() override {
        // Hashed: parameterised tests' names hold slashes.
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        dbPath_ = std::filesystem::temp_directory_path() /
                  ("zorvid-test-" + std::to_string(::getpid()) + "-" +
                   std::to_string(std::hash<std::string>{}(test)) + ".db");
        std::filesystem::remove(dbPath_);
        config.loginPort = config.servicePort = 0;
        config.chatPortFirst = config.chatPortLast = 0;
        config.pwhashOps = crypto_pwhash_OPSLIMIT_MIN;
        config.pwhashMem = crypto_pwhash_MEMLIMIT_MIN;
        config.handshakeTimeout = std::chrono::milliseconds(400);
    }

    // `clock`, when given, stands in for the service's.
    void StartServer(ChatHost::Clock clock = {}) {
        accounts = std::make_unique<SqliteAccountStore>(dbPath_.string(), config.pwhashOps,
                                                        config.pwhashMem, config.maxNameBytes);
        server = std::make_unique<ZorviServer>(io, config, *accounts, log, std::move(clock));
        server->Start();
        loop = std::thread([this] { io.run(); });
    }

    // Stops the service; its log may be read from then on.
    std::string StopAndReadLog() {
        if (loop.joinable()) {
            asio::post(io, [this] {
                server->Stop();
                io.stop();
            });
            loop.join();
        }
        return logText.str();
    }

    void TearDown() override {
        StopAndReadLog();
        TestClient::tls.reset();
        server.reset();
        accounts.reset();
        std::filesystem::remove(dbPath_);
    }

    ServerConfig config;
    std::ostringstream logText;  // read only once the loop has stopped
    EventLog log{&logText};
    asio::io_context io{1};
    std::unique_ptr<AccountStore> accounts;
    std::unique_ptr<ZorviServer> server;
    std::thread loop;

private:
    std::filesystem::path dbPath_;
};

}  // namespace zorvid::test
