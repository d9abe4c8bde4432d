// Connections over TLS: a relay in the test ends TLS in front of a scripted plain peer.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "net/codec.h"
#include "net/one_shot_exchange.h"
#include "net/protocol.h"
#include "net/tls_transport.h"
#include "net/zorvi_socket.h"
#include "support_net/script_peer.h"
#include "support_net/test_pki.h"
#include "support_net/tls_relay.h"

using namespace std::chrono_literals;
using kvtest::PeerScript;
using kvtest::ScriptPeer;
using kvtest::TestPki;
using kvtest::TlsRelay;

namespace {

constexpr char kPassword[] = "correct-horse-battery";

struct TempFolder {
    TempFolder() {
        char name[] = "/tmp/kv-tls-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
    std::string path;
};

zorvi::SocketConfig Tls(const std::string& caFile) {
    zorvi::SocketConfig c;
    c.connectTimeout = 3000ms;
    c.ioTimeout = 3000ms;
    c.tls.enabled = true;
    c.tls.caFile = caFile;
    return c;
}

std::vector<std::string> DerChain(const std::string& pemFile) {
    std::vector<std::string> chain;
    FILE* f = std::fopen(pemFile.c_str(), "r");
    if (!f) return chain;
    while (X509* cert = PEM_read_X509(f, nullptr, nullptr, nullptr)) {
        unsigned char* der = nullptr;
        const int n = i2d_X509(cert, &der);
        if (n > 0) chain.emplace_back(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
        OPENSSL_free(der);
        X509_free(cert);
    }
    std::fclose(f);
    return chain;
}

class TlsSocket : public ::testing::Test {
protected:
    TempFolder folder;
    TestPki pki{folder.path};
};

TEST_F(TlsSocket, RecordsCrossEncryptedAndWholeBothWays) {
    // Two replies in one write, one of them larger than the reader's chunk and than a TLS
    // record: both must come out whole, the second without a new readiness.
    CMsg big(code1::kReply, code2::kChatLine);
    big.list = {std::string(40000, 'x')};
    const CMsg accepted(code1::kReply, code2::kLoginAccepted);
    std::string both;
    zorvi::AppendMsg(big, both);
    zorvi::AppendMsg(accepted, both);
    ScriptPeer peer(PeerScript().Receive().SendRaw(both).Receive().ExpectEnd());
    const TestPki::Issued server = pki.Issue("server", "IP:127.0.0.1");
    TlsRelay relay("127.0.0.1", {{0, peer.port()}}, server.certFile, server.keyFile);
    ASSERT_TRUE(relay.ok());

    zorvi::LoginSocket socket(Tls(pki.caFile()));
    ASSERT_TRUE(socket.Create());
    ASSERT_TRUE(socket.Connect("127.0.0.1", relay.port(0)));
    EXPECT_TRUE(socket.CertificateFailure().empty());
    socket.Init();
    CMsg login(code1::kUserAction, code2::kLogin);
    login.text = "ann";
    login.list = {kPassword};
    socket.SendMsg(login);
    CMsg first;
    socket.ReceiveMsg(first);
    EXPECT_EQ(first, big);
    EXPECT_TRUE(socket.HasBufferedInput());
    CMsg second;
    socket.ReceiveMsg(second);
    EXPECT_EQ(second, accepted);
    socket.SendMsg(CMsg(code1::kRequest, code2::kClosing));
    socket.Close();

    ASSERT_TRUE(peer.WaitForFinished(1, 5000ms)) << ::testing::PrintToString(peer.Errors());
    ASSERT_EQ(peer.Received().size(), 2u);
    EXPECT_EQ(peer.Received()[0], login);
    // The service got the password; the wire between client and relay never held it.
    const std::string wire = relay.Recorded();
    ASSERT_GT(wire.size(), 40000u);
    EXPECT_EQ(wire[0], '\x16');
    EXPECT_EQ(wire.find(kPassword), std::string::npos);
    EXPECT_EQ(wire.find(std::string(64, 'x')), std::string::npos);
}

TEST_F(TlsSocket, UntrustedServersAreRefusedWithTheReasonAndNeverSpokenToInPlain) {
    struct Case {
        const char* what;
        std::string host;
        TestPki::Issued server;
        std::string caFile;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"wrong host name", "localhost", pki.Issue("other", "DNS:chat.example"), pki.caFile(),
         "hostname mismatch"},
        {"expired", "127.0.0.1", pki.Issue("expired", "IP:127.0.0.1", true, -7200, -3600),
         pki.caFile(), "certificate has expired"},
        {"unknown CA", "127.0.0.1", pki.Issue("stranger", "IP:127.0.0.1", false), pki.caFile(),
         "self-signed certificate in certificate chain"},
        {"system trust only", "127.0.0.1", pki.Issue("private", "IP:127.0.0.1"), "",
         "self-signed certificate in certificate chain"},
        {"unreadable CA file", "127.0.0.1", pki.Issue("fine", "IP:127.0.0.1"),
         folder.path + "/missing.pem", "could not be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptPeer peer(PeerScript().Receive());
        TlsRelay relay("127.0.0.1", {{0, peer.port()}}, c.server.certFile, c.server.keyFile);
        ASSERT_TRUE(relay.ok());
        zorvi::LoginSocket socket(Tls(c.caFile));
        ASSERT_TRUE(socket.Create());
        EXPECT_FALSE(socket.Connect(c.host, relay.port(0)));
        EXPECT_NE(socket.CertificateFailure().find(c.reason), std::string::npos)
            << socket.CertificateFailure();
        // Nothing but handshake records crossed, and the service was never reached.
        const std::string wire = relay.Recorded();
        if (!wire.empty()) {
            EXPECT_EQ(wire[0], '\x16');
        }
        EXPECT_EQ(relay.Handshakes(), 0);
        EXPECT_EQ(peer.Accepted(), 0);
    }
}

TEST_F(TlsSocket, APlainServerFailsTheConnectWithoutACertificateReason) {
    // A service that does not speak TLS: the attempt fails like a failed connect and
    // nothing is retried in plain.
    ScriptPeer peer(PeerScript().Close());
    zorvi::ServiceSocket socket(Tls(pki.caFile()));
    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kRequest, code2::kVersionCheck);
    const zorvi::OneShotResult result = zorvi::RunOneShot(socket, "127.0.0.1", peer.port(), plan);
    EXPECT_EQ(result.failedAt, zorvi::OneShotStep::Connect);
    EXPECT_TRUE(socket.CertificateFailure().empty());
    ASSERT_TRUE(peer.WaitForFinished(1, 5000ms));
    EXPECT_EQ(peer.Accepted(), 1);
    EXPECT_TRUE(peer.Received().empty());
}

TEST_F(TlsSocket, WebChainsAreCheckedWithTheSameTrust) {
    const auto good = DerChain(pki.Issue("web", "DNS:portal.example").certFile);
    const auto stranger = DerChain(pki.Issue("web2", "DNS:portal.example", false).certFile);
    ASSERT_EQ(good.size(), 2u);
    zorvi::TlsSettings trust{true, pki.caFile()};
    EXPECT_EQ(zorvi::VerifyCertificateChain(good, "portal.example", trust), "");
    EXPECT_EQ(zorvi::VerifyCertificateChain({good[0]}, "portal.example", trust), "");
    EXPECT_NE(zorvi::VerifyCertificateChain(good, "elsewhere.example", trust), "");
    EXPECT_NE(zorvi::VerifyCertificateChain(stranger, "portal.example", trust), "");
    EXPECT_NE(zorvi::VerifyCertificateChain(good, "portal.example", zorvi::TlsSettings{}), "");
    EXPECT_NE(zorvi::VerifyCertificateChain({"not a certificate"}, "portal.example", trust), "");
}

}  // namespace
