#include "net/tls_transport.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <poll.h>

#include <cerrno>
#include <climits>

namespace zorvi {
namespace {

std::string UnreadableCaFile(const std::string& file) {
    return "the trusted certificates in " + file + " could not be read";
}

bool IsIpv4Address(const std::string& host) {
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1;
}

// The name the certificate must carry: a host name, or an address for a numeric host.
bool ExpectHost(X509_VERIFY_PARAM* param, const std::string& host) {
    if (IsIpv4Address(host)) return X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    return X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size()) == 1;
}

int Clamp(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

std::unique_ptr<TlsTransport> TlsTransport::Create(const TlsSettings& settings,
                                                   const std::string& host, std::string& failure) {
    ERR_clear_error();
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!context) {
        failure = "TLS is not available";
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    // Records carry their own lengths, so a stream cut short shows as a cut record; a
    // missing closing notice is no reason to drop what arrived whole before it.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // The writer retries with the rest of its buffer, which may have moved in between.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_default_verify_paths(context);
    if (!settings.caFile.empty() &&
        SSL_CTX_load_verify_locations(context, settings.caFile.c_str(), nullptr) != 1) {
        failure = UnreadableCaFile(settings.caFile);
        SSL_CTX_free(context);
        ERR_clear_error();
        return nullptr;
    }
    SSL* ssl = SSL_new(context);
    if (!ssl || host.empty() || !ExpectHost(SSL_get0_param(ssl), host)) {
        failure = "the server's name cannot be checked";
        SSL_free(ssl);
        SSL_CTX_free(context);
        ERR_clear_error();
        return nullptr;
    }
    if (!IsIpv4Address(host)) SSL_set_tlsext_host_name(ssl, host.c_str());
    return std::unique_ptr<TlsTransport>(new TlsTransport(context, ssl));
}

TlsTransport::TlsTransport(ssl_ctx_st* context, ssl_st* ssl) : context_(context), ssl_(ssl) {}

TlsTransport::~TlsTransport() {
    SSL_free(ssl_);
    SSL_CTX_free(context_);
}

void TlsTransport::Bind(int fd) {
    if (fd == boundFd_) return;
    SSL_set_fd(ssl_, fd);
    boundFd_ = fd;
}

TransferResult TlsTransport::Outcome(int ret) {
    if (ret > 0) return {ret, 0, 0};
    const int savedErrno = errno;
    switch (SSL_get_error(ssl_, ret)) {
        case SSL_ERROR_WANT_READ:
            return {0, EAGAIN, POLLIN};
        case SSL_ERROR_WANT_WRITE:
            return {0, EAGAIN, POLLOUT};
        case SSL_ERROR_ZERO_RETURN:
            return {};
        case SSL_ERROR_SYSCALL:
            failed_ = true;
            ERR_clear_error();
            return {0, savedErrno != 0 ? savedErrno : EIO, 0};
        default:
            failed_ = true;
            ERR_clear_error();
            return {0, EPROTO, 0};
    }
}

TransferResult TlsTransport::Handshake(int fd) {
    if (failed_) return {0, EPROTO, 0};
    Bind(fd);
    ERR_clear_error();
    const TransferResult r = Outcome(SSL_connect(ssl_));
    if (r.bytes > 0 || r.error == EAGAIN) return r;
    const long verdict = SSL_get_verify_result(ssl_);
    if (verdict != X509_V_OK) certificateFailure_ = X509_verify_cert_error_string(verdict);
    return r;
}

TransferResult TlsTransport::Receive(int fd, char* data, std::size_t size) {
    if (failed_) return {0, EPROTO, 0};
    Bind(fd);
    ERR_clear_error();
    return Outcome(SSL_read(ssl_, data, Clamp(size)));
}

TransferResult TlsTransport::Send(int fd, const char* data, std::size_t size) {
    if (failed_) return {0, EPROTO, 0};
    Bind(fd);
    ERR_clear_error();
    return Outcome(SSL_write(ssl_, data, Clamp(size)));
}

void TlsTransport::EndSending(int fd) {
    if (failed_ || !SSL_is_init_finished(ssl_)) return;
    Bind(fd);
    ERR_clear_error();
    // One try: a full send buffer only loses the notice, which the peer can do without.
    SSL_shutdown(ssl_);
    ERR_clear_error();
}

std::size_t TlsTransport::Buffered() const {
    return failed_ ? 0 : static_cast<std::size_t>(SSL_pending(ssl_));
}

std::string VerifyCertificateChain(const std::vector<std::string>& derChain,
                                   const std::string& host, const TlsSettings& settings) {
    if (derChain.empty()) return "the server sent no certificate";
    std::string reason;
    X509_STORE* store = X509_STORE_new();
    STACK_OF(X509)* untrusted = sk_X509_new_null();
    X509* leaf = nullptr;
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    ERR_clear_error();
    if (!store || !untrusted || !context) {
        reason = "TLS is not available";
    } else if (X509_STORE_set_default_paths(store) != 1) {
        reason = "the system's trusted certificates could not be read";
    } else if (!settings.caFile.empty() &&
               X509_STORE_load_file(store, settings.caFile.c_str()) != 1) {
        reason = UnreadableCaFile(settings.caFile);
    } else {
        for (std::size_t i = 0; i < derChain.size() && reason.empty(); ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(derChain[i].data());
            X509* cert = d2i_X509(nullptr, &p, static_cast<long>(derChain[i].size()));
            if (!cert) {
                reason = "a certificate of the chain is malformed";
            } else if (i == 0) {
                leaf = cert;
            } else if (sk_X509_push(untrusted, cert) == 0) {
                X509_free(cert);
                reason = "TLS is not available";
            }
        }
    }
    if (reason.empty()) {
        if (X509_STORE_CTX_init(context, store, leaf, untrusted) != 1) {
            reason = "TLS is not available";
        } else {
            X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context);
            X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
            if (host.empty() || !ExpectHost(param, host)) {
                reason = "the server's name cannot be checked";
            } else if (X509_verify_cert(context) != 1) {
                reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(context));
            }
        }
    }
    X509_STORE_CTX_free(context);
    X509_free(leaf);
    sk_X509_pop_free(untrusted, X509_free);
    X509_STORE_free(store);
    ERR_clear_error();
    return reason;
}

}  // namespace zorvi
