#include "support_net/tls_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kvtest {
namespace {

constexpr int kPollMs = 1000;

sockaddr_in Address(const std::string& host, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, host.c_str(), &a.sin_addr);
    return a;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

TlsRelay::TlsRelay(const std::string& listenAddress, const std::vector<Route>& routes,
                   const std::string& certFile, const std::string& keyFile,
                   std::string targetAddress)
    : targetAddress_(std::move(targetAddress)) {
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    context_ = SSL_CTX_new(TLS_server_method());
    ok_ = stopFd_ >= 0 && context_ &&
          SSL_CTX_use_certificate_chain_file(context_, certFile.c_str()) == 1 &&
          SSL_CTX_use_PrivateKey_file(context_, keyFile.c_str(), SSL_FILETYPE_PEM) == 1;
    for (const Route& r : routes) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a = Address(listenAddress, r.listenPort);
        socklen_t len = sizeof a;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(fd, 16) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            ok_ = false;
        }
        listenFds_.push_back(fd);
        targetPorts_.push_back(r.targetPort);
        ports_.push_back(ntohs(a.sin_port));
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TlsRelay::~TlsRelay() {
    stopping_ = true;
    const std::uint64_t one = 1;
    if (stopFd_ >= 0) (void)!::write(stopFd_, &one, sizeof one);
    acceptThread_.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        threads.swap(threads_);
    }
    for (std::thread& t : threads) t.join();
    for (int fd : listenFds_)
        if (fd >= 0) ::close(fd);
    if (stopFd_ >= 0) ::close(stopFd_);
    SSL_CTX_free(context_);
}

std::string TlsRelay::Recorded() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorded_;
}

int TlsRelay::Handshakes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handshakes_;
}

int TlsRelay::BrokenOff() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return brokenOff_;
}

void TlsRelay::Record(const char* data, std::size_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    recorded_.append(data, size);
}

void TlsRelay::AcceptLoop() {
    std::vector<pollfd> fds;
    fds.push_back({stopFd_, POLLIN, 0});
    for (int fd : listenFds_) fds.push_back({fd, POLLIN, 0});
    while (!stopping_) {
        if (::poll(fds.data(), fds.size(), kPollMs) <= 0) continue;
        if (fds[0].revents != 0) return;
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            const int client = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            const int target = targetPorts_[i - 1];
            std::lock_guard<std::mutex> lock(mutex_);
            threads_.emplace_back([this, client, target] { Relay(client, target); });
        }
    }
}

// TLS through memory buffers, so the relay sees (and records) the encrypted bytes itself.
void TlsRelay::Relay(int client, int targetPort) {
    SSL* ssl = SSL_new(context_);
    BIO* in = BIO_new(BIO_s_mem());
    BIO* out = BIO_new(BIO_s_mem());
    SSL_set_bio(ssl, in, out);
    SSL_set_accept_state(ssl);
    int upstream = -1;
    bool handshaken = false;
    char buf[16384];
    auto flush = [&] {
        int n = 0;
        while ((n = BIO_read(out, buf, sizeof buf)) > 0) {
            Record(buf, static_cast<std::size_t>(n));
            if (!SendAll(client, buf, static_cast<std::size_t>(n))) return false;
        }
        return true;
    };
    while (!stopping_) {
        pollfd fds[3] = {{stopFd_, POLLIN, 0}, {client, POLLIN, 0}, {upstream, POLLIN, 0}};
        if (::poll(fds, 3, kPollMs) <= 0) continue;
        if (fds[0].revents != 0) break;
        if (fds[1].revents != 0) {
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0) {
                if (!handshaken) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    ++brokenOff_;
                }
                break;
            }
            Record(buf, static_cast<std::size_t>(n));
            BIO_write(in, buf, static_cast<int>(n));
            if (!handshaken) {
                const int r = SSL_do_handshake(ssl);
                if (r == 1) {
                    handshaken = true;
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        ++handshakes_;
                    }
                    // Only a client that has finished TLS reaches the service.
                    upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                    const sockaddr_in a = Address(targetAddress_, targetPort);
                    if (::connect(upstream, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
                        break;
                } else if (SSL_get_error(ssl, r) != SSL_ERROR_WANT_READ) {
                    flush();
                    std::lock_guard<std::mutex> lock(mutex_);
                    ++brokenOff_;
                    break;
                }
            }
            if (handshaken) {
                int r = 0;
                while ((r = SSL_read(ssl, buf, sizeof buf)) > 0)
                    if (!SendAll(upstream, buf, static_cast<std::size_t>(r))) break;
            }
            if (!flush()) break;
        }
        if (upstream >= 0 && fds[2].revents != 0) {
            const ssize_t n = ::recv(upstream, buf, sizeof buf, 0);
            if (n <= 0) {
                SSL_shutdown(ssl);
                flush();
                break;
            }
            SSL_write(ssl, buf, static_cast<int>(n));
            if (!flush()) break;
        }
    }
    ERR_clear_error();
    SSL_free(ssl);
    if (upstream >= 0) ::close(upstream);
    ::close(client);
}

}  // namespace kvtest
