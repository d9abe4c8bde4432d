#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/tls_session.h"

namespace zorvid::test {

// A blocking loopback client for the tests; every wait has a deadline.
class TestClient {
public:
    using Ms = std::chrono::milliseconds;

    // While set, every client connects over TLS with this context (host name "localhost"),
    // so one test body can check both transports.
    static inline std::shared_ptr<const TlsContext> tls;

    // Sent in the clear right after connecting, before any TLS handshake: a proxy's header.
    std::string preface;

    TestClient() = default;
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;
    ~TestClient() { Disconnect(); }

    // `local` picks the client's own loopback address (127.0.0.x), so tests can act as
    // different machines.
    bool Connect(int port, const char* local = "127.0.0.1", const char* remote = "127.0.0.1") {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0) return false;
        sockaddr_in me{};
        me.sin_family = AF_INET;
        ::inet_pton(AF_INET, local, &me.sin_addr);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0) return false;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<unsigned short>(port));
        ::inet_pton(AF_INET, remote, &to.sin_addr);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) return false;
        if (!preface.empty() && !SendPlain(preface)) return false;
        if (!tls) return true;
        session_ = std::make_unique<TlsSession>(*tls, "localhost");
        session_->Connect();
        return SendWire() && Await(Ms(3000), [&] { return session_->Established(); });
    }
    void Disconnect() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        session_.reset();
    }
    // Every byte this client put on the wire (encrypted, over TLS).
    const std::string& Sent() const { return sent_; }
    std::string TlsError() const { return session_ ? session_->Error() : std::string(); }
    // Every send leaves at once, so a trickle really arrives a byte at a time.
    void SetNoDelay() {
        const int on = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    void SetReceiveBuffer(int bytes) {
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }

    bool SendRaw(const std::string& bytes) {
        if (session_) return session_->Send(bytes) && SendWire();
        return SendPlain(bytes);
    }
    bool SendPlain(const std::string& bytes) {
        sent_ += bytes;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    bool Send(const CMsg& msg) { return SendRaw(zorvi::EncodeMsg(msg)); }
    bool SendBare(const std::string& s) { return SendRaw(zorvi::EncodeBareString(s)); }

    bool Receive(CMsg& out, Ms timeout = Ms(3000)) {
        return Await(timeout, [&] {
            const auto r = zorvi::DecodeMsg(input_, out);
            if (r.status != zorvi::DecodeStatus::Complete) return false;
            input_.erase(0, r.consumed);
            return true;
        });
    }
    bool ReceiveBare(std::string& out, Ms timeout = Ms(3000)) {
        return Await(timeout, [&] {
            const auto r = zorvi::DecodeBareString(input_, out);
            if (r.status != zorvi::DecodeStatus::Complete) return false;
            input_.erase(0, r.consumed);
            return true;
        });
    }
    // The next record with this code2, skipping others.
    bool ReceiveCode(int code2, CMsg& out, Ms timeout = Ms(3000)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            const auto left =
                std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !Receive(out, left)) return false;
            if (out.code2 == code2) return true;
        }
    }
    // Whatever arrives next (or is already buffered), as raw bytes.
    bool ReceiveSome(std::string& out, Ms timeout = Ms(3000)) {
        const bool got = Await(timeout, [&] { return !input_.empty(); });
        out.swap(input_);
        input_.clear();
        return got;
    }
    const std::string& Buffered() const { return input_; }
    // True when the server closes the connection within the time-out.
    bool WaitClosed(Ms timeout = Ms(3000)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        char buf[4096];
        while (true) {
            const auto left =
                std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return true;
            Take(std::string_view(buf, static_cast<std::size_t>(n)));
        }
    }
    // A whole exchange on a fresh connection: connect, send, read one reply, close notice.
    static bool Exchange(int port, const CMsg& request, CMsg& reply,
                         const char* local = "127.0.0.1") {
        TestClient c;
        if (!c.Connect(port, local) || !c.Send(request) || !c.Receive(reply)) return false;
        c.Send(CMsg(code1::kRequest, code2::kClosing));
        return true;
    }

private:
    template <typename Try>
    bool Await(Ms timeout, Try&& attempt) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        char buf[65536];
        while (true) {
            if (attempt()) return true;
            const auto left =
                std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return false;
            if (!Take(std::string_view(buf, static_cast<std::size_t>(n)))) return false;
        }
    }
    bool Take(std::string_view bytes) {
        if (!session_) {
            input_.append(bytes);
            return true;
        }
        return session_->Receive(bytes, input_) && SendWire();
    }
    bool SendWire() {
        std::string wire;
        session_->TakeWire(wire);
        return wire.empty() || SendPlain(wire);
    }

    int fd_ = -1;
    std::unique_ptr<TlsSession> session_;
    std::string sent_;
    std::string input_;
};

}  // namespace zorvid::test
