#pragma once

#include <cstddef>
#include <string>

namespace zorvi {

// What one transfer did. `bytes` > 0: that many moved. Otherwise `error` is 0 for the
// peer's orderly end of the stream, EAGAIN when the call must wait for `waitFor` (poll
// events) and be repeated, or the errno of the failure.
struct TransferResult {
    std::ptrdiff_t bytes = 0;
    int error = 0;
    short waitFor = 0;
};

// The byte path under a connection's records: plain TCP, or TLS over the same
// non-blocking descriptor. Never blocks; the connection does the waiting, so its
// time-outs and wait hook apply to either.
class Transport {
public:
    virtual ~Transport() = default;
    virtual TransferResult Receive(int fd, char* data, std::size_t size) = 0;
    virtual TransferResult Send(int fd, const char* data, std::size_t size) = 0;
    // Announces the end of sending where the transport has its own notice (TLS), without
    // waiting for the peer. Called before the descriptor's own shutdown or close.
    virtual void EndSending(int /*fd*/) {}
    // Bytes already received and decrypted but not yet handed out by Receive.
    virtual std::size_t Buffered() const { return 0; }
};

// Bytes as they are, straight to and from the socket.
class PlainTransport : public Transport {
public:
    TransferResult Receive(int fd, char* data, std::size_t size) override;
    TransferResult Send(int fd, const char* data, std::size_t size) override;
};

}  // namespace zorvi
