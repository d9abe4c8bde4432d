// The whole login and a conversation over TLS: against zorvid's own TLS, and through a relay
// in the test that ends TLS in front of a real zorvid on 127.0.0.2, at the same port numbers
// as the service's own on 127.0.0.1, recording what crosses the wire and offering the
// certificates a client must refuse.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <random>

#include "chat/chat_texts.h"
#include "e2e/e2e_client.h"
#include "support_net/test_pki.h"
#include "support_net/tls_relay.h"

namespace {

constexpr int kWait = 5000;
constexpr int kChatPorts = 6;
const QString kRelayAddress = QStringLiteral("127.0.0.2");

bool PortFree(const char* address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, address, &a.sin_addr);
    const bool free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0) ::close(fd);
    return free;
}

// Room ports must be known before zorvid opens them, so that the relay can stand in front:
// a run of ports free on both addresses.
QString FreeChatPorts() {
    std::mt19937 pick(std::random_device{}());
    std::uniform_int_distribution<int> base(20000, 60000);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int first = base(pick);
        bool free = true;
        for (int p = first; p < first + kChatPorts && free; ++p)
            free = PortFree("127.0.0.1", p) && PortFree("127.0.0.2", p);
        if (free) return QStringLiteral("%1-%2").arg(first).arg(first + kChatPorts - 1);
    }
    return QStringLiteral("0");
}

// TLS on, trusting `caFile` besides the system's roots.
std::function<void(WindowServices&)> Trusting(const std::string& caFile) {
    return [caFile](WindowServices& s) {
        s.endpoints.tls = true;
        s.endpoints.caFile = QString::fromStdString(caFile);
        s.sockets.tls = s.endpoints.Tls();
    };
}

class TlsE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
        ASSERT_NE(chatPorts, QStringLiteral("0"));
    }

    void Front(const kvtest::TestPki::Issued& server) {
        std::vector<kvtest::TlsRelay::Route> routes = {
            {zorvid.loginPort(), zorvid.loginPort()}, {zorvid.servicePort(), zorvid.servicePort()}};
        const int first = chatPorts.section(u'-', 0, 0).toInt();
        for (int p = first; p < first + kChatPorts; ++p) routes.push_back({p, p});
        relay = std::make_unique<kvtest::TlsRelay>(kRelayAddress.toStdString(), routes,
                                                   server.certFile, server.keyFile);
        ASSERT_TRUE(relay->ok());
    }

    QTemporaryDir dir;
    kvtest::TestPki pki{dir.path().toStdString()};
    QString chatPorts = FreeChatPorts();
    ZorvidProcess zorvid{{QStringLiteral("--chat-ports"), chatPorts}};
    std::unique_ptr<kvtest::TlsRelay> relay;
};

TEST_F(TlsE2E, LoginRoomConversationAndFindWithNothingReadableOnTheWire) {
    Front(pki.Issue("zorvi", "IP:127.0.0.2"));
    MeetTalkAndFind(Ports(zorvid), kRelayAddress, Trusting(pki.caFile()));
    ASSERT_FALSE(HasFatalFailure());

    const std::string wire = relay->Recorded();
    EXPECT_GE(relay->Handshakes(), 6);
    EXPECT_EQ(wire.find("secret-ann"), std::string::npos);
    EXPECT_EQ(wire.find("secret-bob"), std::string::npos);
    EXPECT_EQ(wire.find("hello bob"), std::string::npos);
    EXPECT_EQ(wire.find("tea"), std::string::npos);
}

TEST_F(TlsE2E, AnUntrustedCertificateIsNamedAndTheLoginDialogComesBack) {
    struct Case {
        const char* what;
        kvtest::TestPki::Issued server;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"wrong host", pki.Issue("elsewhere", "IP:127.0.0.9"), "IP address mismatch"},
        {"expired", pki.Issue("expired", "IP:127.0.0.2", true, -7200, -3600),
         "certificate has expired"},
        {"unknown CA", pki.Issue("stranger", "IP:127.0.0.2", false),
         "self-signed certificate in certificate chain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        relay.reset();
        Front(c.server);
        E2EClient cy(zorvid, QStringLiteral("cy"), kRelayAddress, Trusting(pki.caFile()));
        EXPECT_FALSE(cy.LogIn());
        // Shown instead of the failed connect's text, then the dialog is back, as after it.
        EXPECT_EQ(cy.tw.box.shown, QStringList{QString::fromUtf8(chat_texts::kCertificateRefused) +
                                               QString::fromUtf8(c.reason)});
        EXPECT_EQ(cy.loginDialog.shown, 2);
        EXPECT_EQ(relay->Handshakes(), 0);
    }
}

// zorvid's own TLS with plain text refused: whatever the two clients do works only over TLS.
TEST(ZorvidTlsE2E, LoginRoomConversationAndFindOverZorvidsOwnTls) {
    QTemporaryDir dir;
    const kvtest::TestPki pki{dir.path().toStdString()};
    const auto server = pki.Issue("zorvi", "IP:127.0.0.1");
    ZorvidProcess zorvid{{QStringLiteral("--tls-cert"), QString::fromStdString(server.certFile),
                          QStringLiteral("--tls-key"), QString::fromStdString(server.keyFile),
                          QStringLiteral("--plaintext"), QStringLiteral("refuse")}};
    ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
    MeetTalkAndFind(Ports(zorvid), QStringLiteral("127.0.0.1"), Trusting(pki.caFile()));
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(zorvid.log().contains(QStringLiteral("plain text refused")))
        << zorvid.log().toStdString();
}

}  // namespace
