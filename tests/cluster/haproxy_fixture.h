#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/server/child_process.h"

namespace zorvid::test {

// The loopback addresses of the proxy and of the three nodes behind it (Linux routes all of
// 127/8 to the loopback device, so each can be bound without setup).
inline const std::string kProxyAddress = "127.0.0.1";
inline const std::vector<std::string> kNodeAddresses = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
// Where the proxy connects to the nodes from (ZORVID_PROXY_SOURCE), and so the one address
// the nodes take a PROXY header from ("proxy-from"); clients on 127.0.0.1 may still reach a
// node directly.
inline const std::string kProxySource = "127.0.0.9";

// True when a TCP connection to address:port is accepted.
inline bool Accepts(const std::string& address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<unsigned short>(port));
    ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    ::close(fd);
    return ok;
}

// The first of `count` consecutive ports that are free on every one of `addresses`; 0 when
// none was found. Taken below Linux's ephemeral range (32768 up), so that no outgoing
// connection of the test takes one meanwhile.
inline int FreePortRange(int count, const std::vector<std::string>& addresses) {
    const auto freeOnAll = [&](int port) {
        for (const auto& address : addresses) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in at{};
            at.sin_family = AF_INET;
            at.sin_port = htons(static_cast<unsigned short>(port));
            ::inet_pton(AF_INET, address.c_str(), &at.sin_addr);
            const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
            ::close(fd);
            if (!bound) return false;
        }
        return true;
    };
    std::mt19937 random(static_cast<unsigned>(::getpid()) ^ std::random_device{}());
    std::uniform_int_distribution<int> pick(10000, 32000 - count);
    for (int attempt = 0; attempt < 2000; ++attempt) {
        const int first = pick(random);
        bool all = true;
        for (int port = first; all && port < first + count; ++port) all = freeOnAll(port);
        if (all) return first;
    }
    return 0;
}

// HAProxy run in the foreground (-db) with a given configuration and environment; its log
// (standard error) is kept, and it is killed when the object goes.
class HaproxyProcess {
public:
    using Ms = std::chrono::milliseconds;

    // Starts haproxy and waits until every one of `ports` on `address` accepts connections;
    // false (with the reason in Log()) when it did not within `timeout`.
    bool Start(const std::string& haproxy, const std::string& config,
               const std::map<std::string, std::string>& environment, const std::string& address,
               const std::vector<int>& ports, Ms timeout) {
        // env(1) puts the variables in haproxy's environment, which its configuration reads.
        std::vector<std::string> args;
        for (const auto& [name, value] : environment) args.push_back(name + "=" + value);
        args.insert(args.end(), {haproxy, "-db", "-f", config});
        if (!process_.Start("/usr/bin/env", args)) return false;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (int port : ports) {
            while (!Accepts(address, port)) {
                if (std::chrono::steady_clock::now() >= deadline) return false;
                // Waits a little, reading its log meanwhile.
                process_.AwaitErrorLine("\x01", Ms(50));
            }
        }
        return true;
    }

    // Reads the log until a line holding `text` has come, or `timeout` passes.
    bool AwaitLog(const std::string& text, Ms timeout) {
        return process_.AwaitErrorLine(text, timeout);
    }
    // Reads what the log holds so far without waiting.
    const std::string& Log() {
        process_.AwaitErrorLine("\x01", Ms(1));
        return process_.err;
    }

private:
    ChildProcess process_;
};

}  // namespace zorvid::test
