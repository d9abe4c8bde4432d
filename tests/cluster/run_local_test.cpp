// server/cluster/run-local.sh as a test drives it: its ready line, a request through the
// proxy, and everything it started gone once it is stopped.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "net/protocol.h"
#include "tests/cluster/haproxy_fixture.h"
#include "tests/server/child_process.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;
const std::string kZorvid = KV_ZORVID_PROGRAM;
const std::string kRunLocal = KV_RUN_LOCAL_SCRIPT;

// The script, stopped as a person stops it (SIGTERM, so that it stops what it started) when
// the test ends, also on a failure.
struct RunLocal {
    ChildProcess script;
    std::optional<int> status;
    bool Stop() {
        if (!status) {
            script.Signal(SIGTERM);
            status = script.Finish(Ms(30000));
        }
        return status.has_value();
    }
    ~RunLocal() { Stop(); }
};

// The key=value words of the line that starts with "ready ".
std::map<std::string, std::string> ReadyFields(const std::string& out) {
    std::map<std::string, std::string> fields;
    const auto at = out.find("ready ");
    if (at == std::string::npos || (at > 0 && out[at - 1] != '\n')) return fields;
    std::istringstream line(out.substr(at, out.find('\n', at) - at));
    std::string word;
    while (line >> word) {
        const auto eq = word.find('=');
        if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return fields;
}

pid_t PidOf(const std::string& nodeField) {  // "ADDRESS/PID"
    const auto slash = nodeField.find('/');
    return slash == std::string::npos ? 0 : std::stoi(nodeField.substr(slash + 1));
}

bool Gone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

TEST(RunLocalScript, ServesThroughTheProxyAndStopsEverythingItStarted) {
    const auto build = std::filesystem::path(kZorvid).parent_path().parent_path();
    RunLocal run;
    ASSERT_TRUE(run.script.Start(
        "/bin/bash", {kRunLocal, "--build", build.string(), "--standalone", "--ports", "auto"}));
    const auto deadline = std::chrono::steady_clock::now() + Ms(60000);
    const auto hasReadyLine = [&] {
        const auto at = run.script.out.find("ready ");
        return at != std::string::npos && run.script.out.find('\n', at) != std::string::npos;
    };
    while (!hasReadyLine() && std::chrono::steady_clock::now() < deadline)
        run.script.AwaitErrorLine("\x01", Ms(100));  // reads both outputs meanwhile
    auto ready = ReadyFields(run.script.out);
    for (const auto& key : {"dir", "service", "haproxy", "n1", "n2", "n3"})
        ASSERT_EQ(ready.count(key), 1u) << key << "\n" << run.script.out << run.script.err;

    CMsg reply;
    ASSERT_TRUE(TestClient::Exchange(std::stoi(ready["service"]),
                                     CMsg(code1::kRequest, code2::kChannelListRequest), reply));
    EXPECT_TRUE(reply.Is(code1::kReply, code2::kChannelList));
    EXPECT_EQ(reply.list, (std::vector<std::string>{"aLobby", "bBack Room"}));

    // A node killed from outside does not stop the rest.
    const pid_t killed = PidOf(ready["n2"]);
    ASSERT_GT(killed, 0);
    ::kill(killed, SIGKILL);
    // Until its sockets are closed the kernel may still take a connection for it, which
    // then fails; the proxy passes over it once it refuses.
    const auto gone = std::chrono::steady_clock::now() + Ms(10000);
    const std::string address = ready["n2"].substr(0, ready["n2"].find('/'));
    while (Accepts(address, std::stoi(ready["service"])) && std::chrono::steady_clock::now() < gone)
        std::this_thread::sleep_for(Ms(20));
    ASSERT_TRUE(TestClient::Exchange(std::stoi(ready["service"]),
                                     CMsg(code1::kRequest, code2::kChannelListRequest), reply))
        << run.script.err;

    ASSERT_TRUE(run.Stop()) << run.script.err;
    EXPECT_EQ(run.status, 143) << run.script.err;
    EXPECT_FALSE(std::filesystem::exists(ready["dir"]));
    for (const auto& key : {"n1", "n2", "n3"}) EXPECT_TRUE(Gone(PidOf(ready[key]))) << key;
    EXPECT_TRUE(Gone(std::stoi(ready["haproxy"])));
}

}  // namespace
}  // namespace zorvid::test
