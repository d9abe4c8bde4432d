// Configuration, the JSON form of records and the account store.
#include <gtest/gtest.h>
#include <sodium.h>
#include <unistd.h>

#include <filesystem>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/json_record.h"
#include "server/core/relay_frames.h"
#include "server/core/server_config.h"
#include "server/core/sqlite_account_store.h"
#include "server/core/web_site.h"

namespace zorvid::test {
namespace {

TEST(ServerConfigTest, HostilePeerLimitsAreReadAndNonsenseRefused) {
    ServerConfig c;
    EXPECT_EQ(c.idleLimit.count(), 0) << "a person may read a room for hours";
    ApplyConfigText(R"({"record-deadline": 2.5, "flood-lines-per-second": 2,
        "flood-line-burst": 4, "flood-bytes-per-second": 100, "flood-byte-burst": 200,
        "flood-cut-after": 30, "keepalive-idle": 0, "keepalive-interval": 5,
        "keepalive-probes": 3})",
                    "/", c);
    ValidateConfig(c);
    EXPECT_EQ(c.recordDeadline, std::chrono::milliseconds(2500));
    EXPECT_TRUE(c.flood.enabled);
    EXPECT_EQ(c.flood.linesPerSecond, 2);
    EXPECT_EQ(c.flood.lineBurst, 4);
    EXPECT_EQ(c.flood.bytesPerSecond, 100);
    EXPECT_EQ(c.flood.byteBurst, 200);
    EXPECT_EQ(c.flood.cutAfter, std::chrono::seconds(30));
    EXPECT_EQ(c.keepAlive.idle.count(), 0);
    EXPECT_EQ(c.keepAlive.interval.count(), 5);
    EXPECT_EQ(c.keepAlive.probes, 3);
    ApplyConfigText(R"({"flood-control": false})", "/", c);
    EXPECT_FALSE(c.flood.enabled);
    for (const char* bad : {R"({"flood-lines-per-second": 0})", R"({"flood-byte-burst": 0.5})",
                            R"({"keepalive-probes": 0})", R"({"keepalive-interval": 0})"}) {
        ServerConfig d;
        ApplyConfigText(bad, "/", d);
        EXPECT_THROW(ValidateConfig(d), ConfigError) << bad;
    }
    ServerConfig d;
    EXPECT_THROW(ApplyConfigText(R"({"record-deadline": -1})", "/", d), ConfigError);
}

TEST(ServerConfigTest, ReadsEveryKeyAndRejectsBadInput) {
    ServerConfig c;
    ApplyConfigText(R"({
        // comments are allowed
        "bind": "127.0.0.2", "login-port": 0, "chat-ports": "7000-7010", "http-port": -1,
        "db": "data/a.db", "open-registration": true, "empty-room-grace": 0.5,
        "rooms": [{"name": "Lobby", "marker": "a"},
                  {"name": "Show", "marker": "+",
                   "live-show": {"code": 55, "address": "{web}/m.ogg", "base": "{web}/"}}],
        "portal-on-join": "{web}/"
    })",
                    "/etc/zorvid", c);
    EXPECT_EQ(c.bindAddress, "127.0.0.2");
    EXPECT_EQ(c.loginPort, 0);
    EXPECT_EQ(c.chatPortFirst, 7000);
    EXPECT_EQ(c.chatPortLast, 7010);
    EXPECT_EQ(c.httpPort, -1);
    EXPECT_EQ(c.dbPath, "/etc/zorvid/data/a.db");
    EXPECT_TRUE(c.openRegistration);
    EXPECT_EQ(c.emptyRoomGrace, std::chrono::milliseconds(500));
    ASSERT_EQ(c.rooms.size(), 2u);
    EXPECT_EQ(c.rooms[1].marker, '+');
    EXPECT_EQ(c.rooms[1].liveShow.code2, 55);
    EXPECT_EQ(ExpandWeb(c.rooms[1].liveShow.address, "http://h:1"), "http://h:1/m.ogg");
    EXPECT_EQ(ExpandWeb("{web}{web}", "x"), "xx");

    ParseChatPorts("0", c);
    EXPECT_TRUE(c.EphemeralChatPorts());
    for (const char* bad : {"7000", "7010-7000", "0-5", "a-b", "7000-70000", "1-2x"}) {
        EXPECT_THROW(ParseChatPorts(bad, c), ConfigError) << bad;
    }
    for (const char* bad :
         {"[1]", "{\"nope\": 1}", "{\"login-port\": 70000}", "{\"login-port\": \"x\"}",
          "{\"rooms\": [{\"name\": \"A\", \"marker\": \"ab\"}]}", "{",
          "{\"rooms\": [{\"name\": \"A\", \"live-show\": {\"code\": 3}}]}"}) {
        ServerConfig d;
        EXPECT_THROW(ApplyConfigText(bad, "/", d), ConfigError) << bad;
    }
    ServerConfig twice;
    twice.rooms = {{"A", ' ', {}}, {"A", '+', {}}};
    EXPECT_THROW(ValidateConfig(twice), ConfigError);
    EXPECT_NO_THROW(ValidateConfig(ServerConfig{}));

    // TLS takes both files; refusing plain text needs TLS.
    ServerConfig tls;
    ApplyConfigText(R"({"tls-cert": "c.pem", "plaintext": "refuse"})", "/etc/zorvid", tls);
    EXPECT_EQ(tls.tlsCert, "/etc/zorvid/c.pem");
    EXPECT_FALSE(tls.plainAllowed);
    EXPECT_THROW(ValidateConfig(tls), ConfigError);
    tls.tlsKey = "/etc/zorvid/k.pem";
    EXPECT_NO_THROW(ValidateConfig(tls));
    tls.tlsCert = tls.tlsKey = "";
    EXPECT_THROW(ValidateConfig(tls), ConfigError);
    EXPECT_THROW(ParsePlaintext("maybe"), ConfigError);
}

TEST(JsonRecordTest, RoundTripsAndReportsBadFields) {
    CMsg m(code1::kReply, code2::kChannelList);
    m.text = "caf\xC3\xA9";
    m.list = {"+Lobby", ""};
    m.number = -1;
    m.array = {3, -7};
    EXPECT_EQ(RecordFromJson(nlohmann::json::parse(RecordToJsonLine(m))), m);

    // The catalogue's find request, from its JSON form, encodes to its 20 known bytes.
    const CMsg find =
        RecordFromJson(nlohmann::json::parse(R"({"code1":14,"code2":52,"text":"ann"})"));
    EXPECT_EQ(zorvi::EncodeMsg(find), std::string("\x0E\0\0\0\x34\0\0\0\x03"
                                                  "ann"
                                                  "\0\0\0\0\0\0\0\0",
                                                  20));
    EXPECT_EQ(RecordFromJson(nlohmann::json::parse(R"({"number":4294967295})")).number, -1);

    for (const char* bad : {R"({"code1":"x"})", R"({"list":[1]})", R"({"array":["a"]})",
                            R"({"extra":1})", R"([1])", R"({"number":5000000000})"}) {
        EXPECT_THROW(RecordFromJson(nlohmann::json::parse(bad)), std::invalid_argument) << bad;
    }
    // Bytes that are not UTF-8 are replaced, never thrown on.
    CMsg raw(code1::kReply, code2::kChatLine);
    raw.list = {std::string("\xFF\xFE", 2)};
    EXPECT_NE(RecordToJsonLine(raw).find("\xEF\xBF\xBD"), std::string::npos);
}

// What nodes of a cluster send each other: frames back to back in one message. A message
// that is cut short or carries nonsense anywhere is refused whole.
TEST(RelayFramesTest, RoundTripAndRefuseDamagedMessages) {
    Frame join;
    join.kind = FrameKind::Join;
    join.from = {"n1-00ff", 3, 0x1122334455667788ull};
    join.port = 6001;
    join.text = "ann";
    join.address = "2001:db8::1";
    Frame output;
    output.kind = FrameKind::Output;
    output.from = {"n2-abcd", 0, 7};
    output.bytes = {'\0', '\1', 'b', 'i', 'n', '\xff'};
    std::string message;
    AppendFrame(join, message);
    const std::size_t boundary = message.size();
    AppendFrame(output, message);

    const auto frames = DecodeFrames(message);
    ASSERT_TRUE(frames);
    ASSERT_EQ(frames->size(), 2u);
    EXPECT_EQ((*frames)[0].from, join.from);
    EXPECT_EQ((*frames)[0].port, 6001);
    EXPECT_EQ((*frames)[0].text, "ann");
    EXPECT_EQ((*frames)[0].address, join.address);
    EXPECT_EQ((*frames)[1].kind, FrameKind::Output);
    EXPECT_EQ((*frames)[1].bytes, output.bytes);

    for (std::size_t cut = 1; cut < message.size(); ++cut) {
        const auto part = DecodeFrames(std::string_view(message).substr(0, cut));
        EXPECT_EQ(part.has_value(), cut == boundary) << cut;  // one whole frame is a message
    }
    std::string badKind = message;
    badKind[0] = 9;
    EXPECT_FALSE(DecodeFrames(badKind));
    std::string hugeField = message;
    hugeField[1] = hugeField[2] = hugeField[3] = hugeField[4] = '\xff';  // node length
    EXPECT_FALSE(DecodeFrames(hugeField));
    EXPECT_TRUE(DecodeFrames("")->empty());
}

TEST(AccountStoreTest, RegistersLogsInAndChangesPasswords) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("zorvid-accounts-" + std::to_string(::getpid()) + ".db");
    std::filesystem::remove(path);
    {
        SqliteAccountStore store(path.string(), crypto_pwhash_OPSLIMIT_MIN,
                                 crypto_pwhash_MEMLIMIT_MIN, 32);
        EXPECT_EQ(store.Login("ann", "pw", false), LoginOutcome::Refused);
        EXPECT_EQ(store.Login("ann", "pw", true), LoginOutcome::Created);
        EXPECT_EQ(store.Login("ann", "pw", false), LoginOutcome::Accepted);
        EXPECT_EQ(store.Login("ann", "other", true), LoginOutcome::Refused);

        EXPECT_EQ(store.Register("bob", "pw"), RegisterOutcome::Created);
        EXPECT_EQ(store.Register("bob", "pw"), RegisterOutcome::NameTaken);
        EXPECT_EQ(store.Register(" bob", "pw"), RegisterOutcome::BadName);
        EXPECT_EQ(store.Register(std::string(33, 'x'), "pw"), RegisterOutcome::BadName);
        EXPECT_EQ(store.Register("tab\tname", "pw"), RegisterOutcome::BadName);
        EXPECT_EQ(store.Register("carl", ""), RegisterOutcome::BadPassword);

        EXPECT_EQ(store.ChangePassword("bob", "wrong", "new"), PasswordChangeOutcome::Refused);
        EXPECT_EQ(store.ChangePassword("bob", "pw", ""), PasswordChangeOutcome::BadPassword);
        EXPECT_EQ(store.ChangePassword("bob", "pw", "new"), PasswordChangeOutcome::Changed);
        EXPECT_EQ(store.Login("bob", "pw", false), LoginOutcome::Refused);
    }
    // The hashes survive a restart, and none is the password itself.
    SqliteAccountStore reopened(path.string(), crypto_pwhash_OPSLIMIT_MIN,
                                crypto_pwhash_MEMLIMIT_MIN, 32);
    EXPECT_EQ(reopened.Login("bob", "new", false), LoginOutcome::Accepted);
    EXPECT_TRUE(reopened.Exists("ann"));
    std::filesystem::remove(path);

    EXPECT_EQ(HtmlEscape("<b>\"x\" & 'y'</b>"),
              "&lt;b&gt;&quot;x&quot; &amp; &#39;y&#39;&lt;/b&gt;");
}

}  // namespace
}  // namespace zorvid::test
