#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct ssl_ctx_st;

namespace kvtest {

// A TLS front for a plain service: each listening port ends TLS with the given certificate
// and relays the plaintext to the service's matching port. Records every byte that
// crosses between client and relay, so a test can look at what went over the wire.
// The destructor stops and joins every thread.
class TlsRelay {
public:
    struct Route {
        int listenPort;  // 0: any free port
        int targetPort;
    };
    TlsRelay(const std::string& listenAddress, const std::vector<Route>& routes,
             const std::string& certFile, const std::string& keyFile,
             std::string targetAddress = "127.0.0.1");
    ~TlsRelay();
    TlsRelay(const TlsRelay&) = delete;
    TlsRelay& operator=(const TlsRelay&) = delete;

    // False when a port could not be opened or the certificate not loaded.
    bool ok() const { return ok_; }
    int port(std::size_t route) const { return ports_.at(route); }
    // Everything that crossed between the clients and the relay, both ways.
    std::string Recorded() const;
    // Handshakes completed, and those the client broke off (a refused certificate).
    int Handshakes() const;
    int BrokenOff() const;

private:
    void AcceptLoop();
    void Relay(int client, int targetPort);
    void Record(const char* data, std::size_t size);

    std::string targetAddress_;
    ssl_ctx_st* context_ = nullptr;
    std::vector<int> listenFds_;
    std::vector<int> targetPorts_;
    std::vector<int> ports_;
    int stopFd_ = -1;
    bool ok_ = false;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    std::string recorded_;
    int handshakes_ = 0;
    int brokenOff_ = 0;
    std::vector<std::thread> threads_;  // guarded by mutex_
    std::thread acceptThread_;
};

}  // namespace kvtest
