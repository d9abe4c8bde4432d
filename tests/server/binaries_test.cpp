// The installed programs as a user runs them: zorvi-probe on its own and against a running
// zorvid, and zorvid's web site through an HTTP client.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/json_record.h"
#include "tests/server/child_process.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;
const std::string kZorvid = KV_ZORVID_PROGRAM;
const std::string kProbe = KV_PROBE_PROGRAM;

std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

std::string JsonLinesOf(const std::vector<CMsg>& records) {
    std::string text;
    for (const auto& r : records) text += RecordToJsonLine(r) + "\n";
    return text;
}

TEST(ProbeTest, EncodeAndDecodeRoundTripTheJsonForm) {
    CMsg wide(code1::kReply, code2::kChatLine);
    wide.text = std::string(300, 'w');  // past the one-byte length
    wide.list = {
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE6\x97\xA5\xE6\x9C\xAC",
        "", "third"};
    wide.number = -7;
    wide.array = {6001, -1, 0x7FFFFFFF};
    CMsg find(code1::kRequest, code2::kFindUser);
    find.text = "ann";
    const std::vector<CMsg> records = {wide, find, CMsg(code1::kRequest, code2::kClosing)};

    std::string bytes, err;
    ASSERT_EQ(RunProgram(kProbe, {"encode"}, JsonLinesOf(records), bytes, err), 0) << err;
    std::string expected;
    for (const auto& r : records) zorvi::AppendMsg(r, expected);
    EXPECT_EQ(bytes, expected);  // the same bytes as the codec itself writes

    std::string json;
    ASSERT_EQ(RunProgram(kProbe, {"decode"}, bytes, json, err), 0) << err;
    const auto lines = JsonLines(json);
    ASSERT_EQ(lines.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(RecordFromJson(lines[i]), records[i]) << i;

    // A join answer: a bare string first, then records.
    std::string joined = zorvi::EncodeBareString(zorvi::kJoinNameExists) + zorvi::EncodeMsg(find);
    ASSERT_EQ(RunProgram(kProbe, {"decode", "--bare"}, joined, json, err), 0) << err;
    const auto bare = JsonLines(json);
    ASSERT_EQ(bare.size(), 2u);
    EXPECT_EQ(bare[0], zorvi::kJoinNameExists);
    EXPECT_EQ(RecordFromJson(bare[1]), find);
}

TEST(ProbeTest, BadInputIsReportedAndFails) {
    std::string out, err;
    const std::string truncated =
        zorvi::EncodeMsg(CMsg(code1::kReply, code2::kChannelList)).substr(0, 9);
    EXPECT_NE(RunProgram(kProbe, {"decode"}, truncated, out, err), 0);
    EXPECT_NE(err.find("trailing bytes"), std::string::npos) << err;

    const std::string lines = "{\"code1\":14,\"code2\":28}\n{\"code1\":\"x\"}\n";
    EXPECT_NE(RunProgram(kProbe, {"encode"}, lines, out, err), 0);
    EXPECT_NE(err.find("line 2"), std::string::npos) << err;
    EXPECT_TRUE(out.empty());  // nothing half-written
}

// zorvid run as its own process on ephemeral ports, with its own account file.
class RunningService : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("zorvid-bin-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        std::ofstream((dir_ / "zorvid.conf").string()) << R"({
            "pwhash": "min", "chat-ports": "0", "empty-room-grace": 5,
            "rooms": [{"name": "Lobby", "marker": "a"}]
        })";
    }

    void Start(bool openRegistration) {
        std::vector<std::string> args = {"--config",       (dir_ / "zorvid.conf").string(),
                                         "--login-port",   "0",
                                         "--service-port", "0",
                                         "--http-port",    "0",
                                         "--db",           (dir_ / "accounts.db").string()};
        if (openRegistration) args.push_back("--open-registration");
        ASSERT_TRUE(zorvid_.Start(kZorvid, args));
        ASSERT_TRUE(zorvid_.AwaitErrorLine("zorvid: listening ", Ms(10000))) << zorvid_.err;
        std::smatch m;
        const std::regex ports("listening login=(\\d+) service=(\\d+) http=(\\d+)");
        ASSERT_TRUE(std::regex_search(zorvid_.err, m, ports)) << zorvid_.err;
        loginPort_ = std::stoi(m[1]);
        servicePort_ = std::stoi(m[2]);
        httpPort_ = std::stoi(m[3]);
    }

    void TearDown() override {
        if (loginPort_ > 0) {
            zorvid_.Signal(SIGTERM);
            EXPECT_EQ(zorvid_.Finish(Ms(10000)), 0) << zorvid_.err;
            EXPECT_NE(zorvid_.err.find("stopped"), std::string::npos);
        }
        std::filesystem::remove_all(dir_);
    }

    // zorvi-probe send: the replies it printed, as records (a bare answer as {"bare": ...}).
    std::vector<nlohmann::json> Probe(int port, const std::vector<CMsg>& records,
                                      std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"send", "--port", std::to_string(port), "--wait", "300"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string out, err;
        const auto status = RunProgram(kProbe, args, JsonLinesOf(records), out, err);
        EXPECT_EQ(status, 0) << err;
        return JsonLines(out);
    }

    bool Login(const std::string& name, const std::string& password) {
        CMsg req(code1::kUserAction, code2::kLogin), reply;
        req.text = name;
        req.list = {password};
        return TestClient::Exchange(loginPort_, req, reply) &&
               reply.Is(code1::kReply, code2::kLoginAccepted);
    }

    httplib::Result Post(const std::string& path, const httplib::Params& form) {
        httplib::Client web("127.0.0.1", httpPort_);
        web.set_read_timeout(5, 0);
        return web.Post(path, form);
    }

    std::filesystem::path dir_;
    ChildProcess zorvid_;
    int loginPort_ = -1, servicePort_ = -1, httpPort_ = -1;
};

TEST_F(RunningService, ProbeSendsRecordsAndAJoin) {
    Start(/*openRegistration=*/true);
    auto replies = Probe(servicePort_, {CMsg(code1::kRequest, code2::kChannelListRequest)});
    ASSERT_EQ(replies.size(), 1u);
    const CMsg channels = RecordFromJson(replies[0]);
    EXPECT_TRUE(channels.Is(code1::kReply, code2::kChannelList));
    EXPECT_EQ(channels.list, std::vector<std::string>{"aLobby"});
    EXPECT_EQ(channels.array, std::vector<std::int32_t>{0});

    CMsg login(code1::kUserAction, code2::kLogin);
    login.text = "ann";
    login.list = {"secret"};
    replies = Probe(loginPort_, {login});
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_TRUE(RecordFromJson(replies[0]).Is(code1::kReply, code2::kLoginAccepted));

    CMsg lookUp(code1::kRequest, code2::kRoomLookUp);
    lookUp.text = "Lobby";
    replies = Probe(servicePort_, {lookUp});
    ASSERT_EQ(replies.size(), 1u);
    const CMsg where = RecordFromJson(replies[0]);
    ASSERT_TRUE(where.Is(code1::kReply, code2::kRoomLookUp));
    ASSERT_EQ(where.array.size(), 1u);

    // The join handshake and a room line, which comes back to its sender.
    CMsg line(code1::kUserAction, code2::kChatLine);
    line.text = "ann: hello";
    replies = Probe(where.array[0], {line}, {"--bare", "ann"});
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0], (nlohmann::json{{"bare", "OK"}}));
    const CMsg echoed = RecordFromJson(replies[1]);
    EXPECT_TRUE(echoed.Is(code1::kReply, code2::kChatLine));
    EXPECT_EQ(echoed.list, std::vector<std::string>{"ann: hello"});

    // Someone who never logged in cannot join: the connection closes without an answer.
    replies = Probe(where.array[0], {}, {"--bare", "mallory"});
    EXPECT_TRUE(replies.empty());
}

TEST_F(RunningService, WebSiteServesThePortalAndTheEffects) {
    Start(/*openRegistration=*/false);
    httplib::Client web("127.0.0.1", httpPort_);
    web.set_read_timeout(5, 0);
    const auto portal = web.Get("/");
    ASSERT_TRUE(portal);
    EXPECT_EQ(portal->status, 200);
    EXPECT_NE(portal->body.find("/effect/effectlist.htm"), std::string::npos);
    EXPECT_NE(portal->body.find("/ch/user/"), std::string::npos);

    const auto list = web.Get("/effect/effectlist.htm");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->status, 200);
    std::set<std::string> pages;
    const std::regex link("href=\"([^\"]+\\.htm)\"");
    for (std::sregex_iterator it(list->body.begin(), list->body.end(), link), end; it != end;
         ++it) {
        pages.insert((*it)[1]);
    }
    int pictures = 0, sounds = 0;
    for (const auto& page : pages) {
        const auto effect = web.Get("/effect/" + page);
        ASSERT_TRUE(effect) << page;
        ASSERT_EQ(effect->status, 200) << page;
        if (effect->body.find("<title>ChoosePic</title>") != std::string::npos) {
            ++pictures;
            std::smatch img;
            ASSERT_TRUE(std::regex_search(effect->body, img, std::regex("<img src=\"([^\"]+)\"")))
                << page;
            const auto image = web.Get("/effect/" + img[1].str());
            ASSERT_TRUE(image);
            EXPECT_EQ(image->status, 200);
            EXPECT_FALSE(image->body.empty());
        } else if (effect->body.find("<title>ChooseSound</title>") != std::string::npos) {
            ++sounds;
            std::smatch audio;  // the page plays its sound itself
            ASSERT_TRUE(std::regex_search(effect->body, audio,
                                          std::regex("<audio autoplay[^>]* src=\"([^\"]+)\"")))
                << page;
            const auto sound = web.Get("/effect/" + audio[1].str());
            ASSERT_TRUE(sound);
            EXPECT_EQ(sound->status, 200);
            EXPECT_EQ(sound->body.compare(0, 4, "RIFF"), 0) << "not a wave file";
        }
    }
    EXPECT_GE(pictures, 3);
    EXPECT_GE(sounds, 3);

    const auto missing = web.Get("/effect/no_such_page.htm");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->status, 404);
}

TEST_F(RunningService, RegistrationAndPasswordChangeReachTheLoginServer) {
    Start(/*openRegistration=*/false);
    EXPECT_FALSE(Login("webber", "first-pw"));  // registered accounts only

    auto res =
        Post("/ch/user/", {{"name", "webber"}, {"password", "first-pw"}, {"password2", "other"}});
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("differ"), std::string::npos);
    EXPECT_FALSE(Login("webber", "first-pw"));

    res = Post("/ch/user/",
               {{"name", "webber"}, {"password", "first-pw"}, {"password2", "first-pw"}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_NE(res->body.find("is ready"), std::string::npos) << res->body;
    EXPECT_TRUE(Login("webber", "first-pw"));
    EXPECT_FALSE(Login("webber", "wrong"));

    res = Post("/ch/user/", {{"name", "webber"}, {"password", "x"}, {"password2", "x"}});
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("taken"), std::string::npos);
    EXPECT_TRUE(Login("webber", "first-pw"));  // the second registration changed nothing

    const auto form = httplib::Client("127.0.0.1", httpPort_).Get("/ch/query/index.asp");
    ASSERT_TRUE(form);
    EXPECT_NE(form->body.find("name=\"new2\""), std::string::npos);

    res = Post("/ch/query/index.asp",
               {{"name", "webber"}, {"old", "wrong"}, {"new", "n"}, {"new2", "n"}});
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("wrong"), std::string::npos);
    EXPECT_TRUE(Login("webber", "first-pw"));

    res = Post(
        "/ch/query/index.asp",
        {{"name", "webber"}, {"old", "first-pw"}, {"new", "second-pw"}, {"new2", "second-pw"}});
    ASSERT_TRUE(res);
    EXPECT_NE(res->body.find("is changed"), std::string::npos) << res->body;
    EXPECT_TRUE(Login("webber", "second-pw"));
    EXPECT_FALSE(Login("webber", "first-pw"));
}

}  // namespace
}  // namespace zorvid::test
