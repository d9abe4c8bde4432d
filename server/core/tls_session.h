#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>
#include <string_view>

namespace zorvid {

// The first byte of a TLS client's hello (a handshake record). No plain record or join
// starts with it, so one port can serve both.
inline constexpr unsigned char kTlsHandshakeByte = 0x16;

// An OpenSSL context: TLS 1.2 at least, 1.3 preferred.
class TlsContext {
public:
    // A server's context from PEM files; throws std::runtime_error naming the file and the
    // reason when they cannot be used.
    static std::shared_ptr<TlsContext> ForServer(const std::string& certFile,
                                                 const std::string& keyFile);
    // A client's context that trusts `caFile` (PEM) only and checks the host name; for
    // tests and the load generator.
    static std::shared_ptr<TlsContext> ForClient(const std::string& caFile);

    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* Native() const { return ctx_; }
    bool IsServer() const { return server_; }

private:
    TlsContext(SSL_CTX* ctx, bool server) : ctx_(ctx), server_(server) {}
    SSL_CTX* ctx_;
    bool server_;
};

// One TLS session over memory buffers. Its owner moves the bytes between the socket and
// the session itself, so reads and the gathered non-blocking writes stay as they are for
// plain connections; the session only turns wire bytes into plain bytes and back.
class TlsSession {
public:
    // `host` (client side only) is the name the server's certificate must carry.
    explicit TlsSession(const TlsContext& context, const std::string& host = {});
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Takes bytes read from the peer and appends the plain bytes they carried to `plain`.
    // Returns false when the session failed; Error() says why.
    bool Receive(std::string_view wire, std::string& plain);
    // Encrypts `plain` for the peer; before the handshake is done it waits in the session.
    bool Send(std::string_view plain);
    // Starts the handshake (client side) or ends the session with a close notice.
    void Connect();
    void Close();
    // Appends what must be written to the peer since the last call.
    void TakeWire(std::string& out);
    bool HasWire() const;

    bool Established() const;
    bool PeerClosed() const { return peerClosed_; }
    const std::string& Error() const { return error_; }

private:
    bool Fail(std::string_view what);
    bool FlushEarly();

    SSL* ssl_ = nullptr;
    BIO* fromPeer_ = nullptr;  // owned by ssl_
    BIO* toPeer_ = nullptr;    // owned by ssl_
    std::string early_;        // plain bytes sent before the handshake ended
    std::string error_;
    bool peerClosed_ = false;
};

}  // namespace zorvid
