#pragma once

#include <memory>
#include <string>
#include <vector>

#include "net/transport.h"

struct ssl_st;
struct ssl_ctx_st;

namespace zorvi {

// Whether a connection speaks TLS and whom it trusts besides the system's store.
struct TlsSettings {
    bool enabled = false;
    // PEM file of further trusted certificates: a private CA, or a self-signed server's own.
    std::string caFile;
};

// TLS (1.2 at least) over a connected non-blocking descriptor, as the client of `host`.
// The server's certificate must chain to a trusted root and name `host` (a DNS name, or
// an IP address in its address entries). Nothing is ever sent in plain.
class TlsTransport : public Transport {
public:
    // Null with `failure` set when the trust settings cannot be used (an unreadable CA
    // file): the connection is refused like an untrusted certificate.
    static std::unique_ptr<TlsTransport> Create(const TlsSettings& settings,
                                                const std::string& host, std::string& failure);
    ~TlsTransport() override;
    TlsTransport(const TlsTransport&) = delete;
    TlsTransport& operator=(const TlsTransport&) = delete;

    // One step of the handshake: bytes 1 once complete, EAGAIN with the events to wait
    // for, or a failure. After a failure, CertificateFailure() tells whether the
    // certificate was the cause and why.
    TransferResult Handshake(int fd);
    // The verifier's reason when the server's certificate was refused; empty otherwise.
    const std::string& CertificateFailure() const { return certificateFailure_; }

    TransferResult Receive(int fd, char* data, std::size_t size) override;
    TransferResult Send(int fd, const char* data, std::size_t size) override;
    void EndSending(int fd) override;
    std::size_t Buffered() const override;

private:
    TlsTransport(ssl_ctx_st* context, ssl_st* ssl);
    // Turns OpenSSL's outcome of a call that returned `ret` into a transfer result.
    TransferResult Outcome(int ret);
    void Bind(int fd);

    ssl_ctx_st* context_;
    ssl_st* ssl_;
    int boundFd_ = -1;
    // After a fatal error OpenSSL forbids any further call on the session but freeing it.
    bool failed_ = false;
    std::string certificateFailure_;
};

// Checks a certificate chain (DER encoded, the server's own first) for `host` against the
// same trust as the connections. Empty when trusted, otherwise the reason.
std::string VerifyCertificateChain(const std::vector<std::string>& derChain,
                                   const std::string& host, const TlsSettings& settings);

}  // namespace zorvi
