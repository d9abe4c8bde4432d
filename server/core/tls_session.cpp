#include "server/core/tls_session.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace zorvid {
namespace {

std::string OpenSslReason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

SSL_CTX* NewContext(const SSL_METHOD* method) {
    SSL_CTX* ctx = SSL_CTX_new(method);
    if (!ctx) throw std::runtime_error("cannot create a TLS context: " + OpenSslReason());
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    // Idle sessions give their read and write buffers back: most chat connections are idle.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    return ctx;
}

constexpr std::size_t kChunk = 16 * 1024;

}  // namespace

std::shared_ptr<TlsContext> TlsContext::ForServer(const std::string& certFile,
                                                  const std::string& keyFile) {
    SSL_CTX* ctx = NewContext(TLS_server_method());
    std::shared_ptr<TlsContext> context(new TlsContext(ctx, true));
    if (SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1) {
        throw std::runtime_error("cannot use the TLS certificate " + certFile + ": " +
                                 OpenSslReason());
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        throw std::runtime_error("cannot use the TLS key " + keyFile + ": " + OpenSslReason());
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        throw std::runtime_error("the TLS key " + keyFile + " does not match the certificate " +
                                 certFile);
    }
    // No session tickets: a resumption secret per connection buys nothing for long-lived
    // chat connections.
    SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET | SSL_OP_CIPHER_SERVER_PREFERENCE);
    SSL_CTX_set_num_tickets(ctx, 0);
    return context;
}

std::shared_ptr<TlsContext> TlsContext::ForClient(const std::string& caFile) {
    SSL_CTX* ctx = NewContext(TLS_client_method());
    std::shared_ptr<TlsContext> context(new TlsContext(ctx, false));
    if (SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1) {
        throw std::runtime_error("cannot read the CA file " + caFile + ": " + OpenSslReason());
    }
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    return context;
}

TlsContext::~TlsContext() { SSL_CTX_free(ctx_); }

TlsSession::TlsSession(const TlsContext& context, const std::string& host) {
    ssl_ = SSL_new(context.Native());
    fromPeer_ = BIO_new(BIO_s_mem());
    toPeer_ = BIO_new(BIO_s_mem());
    if (!ssl_ || !fromPeer_ || !toPeer_) throw std::bad_alloc();
    BIO_set_mem_eof_return(fromPeer_, -1);  // an empty buffer means "wait", not end of stream
    SSL_set_bio(ssl_, fromPeer_, toPeer_);
    if (context.IsServer()) {
        SSL_set_accept_state(ssl_);
    } else {
        SSL_set_connect_state(ssl_);
        // An address is checked against the certificate's IP entries and never sent as SNI.
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1) {
            ERR_clear_error();
            SSL_set_tlsext_host_name(ssl_, host.c_str());
            SSL_set1_host(ssl_, host.c_str());
        }
    }
}

TlsSession::~TlsSession() { SSL_free(ssl_); }

bool TlsSession::Fail(std::string_view what) {
    if (error_.empty()) {
        error_ = std::string(what);
        const long verify = SSL_get_verify_result(ssl_);
        if (verify != X509_V_OK) {
            error_ += std::string(": ") + X509_verify_cert_error_string(verify);
        } else {
            error_ += ": " + OpenSslReason();
        }
    }
    ERR_clear_error();
    return false;
}

void TlsSession::Connect() {
    std::string none;
    Receive({}, none);
}

bool TlsSession::Receive(std::string_view wire, std::string& plain) {
    if (!error_.empty()) return false;
    while (!wire.empty()) {
        const int n = BIO_write(fromPeer_, wire.data(), static_cast<int>(wire.size()));
        if (n <= 0) return Fail("TLS input");
        wire.remove_prefix(static_cast<std::size_t>(n));
    }
    char chunk[kChunk];
    while (!peerClosed_) {
        const int n = SSL_read(ssl_, chunk, sizeof chunk);
        if (n > 0) {
            plain.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        const int why = SSL_get_error(ssl_, n);
        if (why == SSL_ERROR_WANT_READ || why == SSL_ERROR_WANT_WRITE) break;
        if (why == SSL_ERROR_ZERO_RETURN) {
            peerClosed_ = true;
            break;
        }
        return Fail(Established() ? "TLS failed" : "TLS handshake failed");
    }
    return FlushEarly();
}

bool TlsSession::FlushEarly() {
    if (early_.empty() || !Established()) return true;
    std::string waiting;
    waiting.swap(early_);
    return Send(waiting);
}

bool TlsSession::Send(std::string_view plain) {
    if (!error_.empty()) return false;
    if (!Established()) {
        early_.append(plain);
        return true;
    }
    while (!plain.empty()) {
        const std::size_t take = std::min(plain.size(), kChunk);
        const int n = SSL_write(ssl_, plain.data(), static_cast<int>(take));
        if (n <= 0) return Fail("TLS output");
        plain.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void TlsSession::Close() {
    if (error_.empty() && Established()) SSL_shutdown(ssl_);
    ERR_clear_error();
}

bool TlsSession::HasWire() const { return BIO_ctrl_pending(toPeer_) > 0; }

void TlsSession::TakeWire(std::string& out) {
    const std::size_t pending = BIO_ctrl_pending(toPeer_);
    if (pending == 0) return;
    const std::size_t at = out.size();
    out.resize(at + pending);
    const int n = BIO_read(toPeer_, out.data() + at, static_cast<int>(pending));
    out.resize(at + static_cast<std::size_t>(n > 0 ? n : 0));
}

bool TlsSession::Established() const { return SSL_is_init_finished(ssl_) == 1; }

}  // namespace zorvid
