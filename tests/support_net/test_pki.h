#pragma once

#include <string>

namespace kvtest {

// Certificates made for one test with OpenSSL, as PEM files in `folder`: a CA the client
// is told to trust, a second CA it knows nothing of, and server certificates from either.
class TestPki {
public:
    explicit TestPki(std::string folder);

    struct Issued {
        std::string certFile;  // the server's certificate followed by its CA's
        std::string keyFile;
    };
    // A server certificate for `subjectAltName` ("IP:127.0.0.2", "DNS:chat.test"), valid
    // from `validFrom` to `validUntil` seconds from now, issued by the trusted CA or by
    // the unknown one.
    Issued Issue(const std::string& name, const std::string& subjectAltName,
                 bool byTrustedCa = true, long validFrom = -3600, long validUntil = 86400) const;

    // PEM of the trusted CA: what caFile points to.
    const std::string& caFile() const { return caFile_; }

private:
    std::string folder_;
    std::string caFile_;
    std::string unknownCaFile_;
};

}  // namespace kvtest
