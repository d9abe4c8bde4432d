// Node liveness through heartbeats: a killed node is lost, a leaving one at once, and an
// outage of NATS itself costs nobody their place. Time-outs are short; the tests wait for
// events, never for a time.
#include "server/cluster/node_watch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "tests/cluster/loop_thread.h"
#include "tests/cluster/nats_fixture.h"

namespace zorvid::test {
namespace {

using cluster::NatsBus;
using cluster::NodeWatch;
using Ms = std::chrono::milliseconds;

// A node in this process: its own bus, its watch on the shared loop. Its events are logged
// as "NAME joined ID" and "NAME lost ID".
class LocalNode {
public:
    LocalNode(LoopThread& loop, EventLog& log, const std::string& url, const std::string& name,
              NodeWatch::Settings settings)
        : loop_(loop), bus_(NatsBus::Connect(url, name)), id(bus_->NodeId()) {
        loop_.Run([&] {
            watch_ = std::make_unique<NodeWatch>(
                *bus_, loop_.io, settings,
                NodeWatch::Events{
                    [&log, name](const std::string& other) { log.Add(name + " joined " + other); },
                    [&log, name](const std::string& other) { log.Add(name + " lost " + other); }});
        });
    }
    ~LocalNode() { Leave(); }

    // Says goodbye: the watch goes, the bus stays.
    void Leave() {
        loop_.Run([&] { watch_.reset(); });
    }

    std::vector<NodeWatch::Node> LiveNodes() {
        std::vector<NodeWatch::Node> nodes;
        loop_.Run([&] { nodes = watch_->LiveNodes(); });
        return nodes;
    }

    bool Connected() const { return bus_->Connected(); }

private:
    LoopThread& loop_;
    std::unique_ptr<NatsBus> bus_;
    std::unique_ptr<NodeWatch> watch_;

public:
    const std::string id;
};

class NodeWatchTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(nats.Start()) << "nats-server did not start"; }

    // Another node in a process of its own; its id, or nothing when it did not come up.
    std::optional<std::string> StartRemote(TestProcess& process, const char* name,
                                           NodeWatch::Settings settings) {
        if (!process.Start(KV_CLUSTER_NODE,
                           {nats.Url(), name, std::to_string(settings.interval.count()),
                            std::to_string(settings.timeout.count())})) {
            return std::nullopt;
        }
        auto line = process.ReadLine(Ms(10000));
        if (!line || line->rfind("id ", 0) != 0) return std::nullopt;
        return line->substr(3);
    }

    template <typename Done>
    static bool Eventually(Done done, Ms timeout = Ms(15000)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(Ms(10));
        }
        return true;
    }

    std::size_t LostCount() const {
        std::size_t n = 0;
        for (const auto& e : log.Events()) n += e.find(" lost ") != std::string::npos;
        return n;
    }

    static constexpr NodeWatch::Settings kQuick{Ms(100), Ms(1500)};

    NatsServer nats;
    LoopThread loop;
    EventLog log;
};

TEST_F(NodeWatchTest, AKilledNodeIsLostAndTheLiveOnesAreNot) {
    LocalNode a(loop, log, nats.Url(), "a", kQuick);
    LocalNode b(loop, log, nats.Url(), "b", kQuick);
    TestProcess remote;
    const auto c = StartRemote(remote, "c", kQuick);
    ASSERT_TRUE(c);
    for (const auto& e :
         {"a joined " + b.id, "b joined " + a.id, "a joined " + *c, "b joined " + *c}) {
        ASSERT_TRUE(log.Await(e)) << e;
    }
    // The remote sees both as well: heartbeats cross processes.
    for (int i = 0; i < 2; ++i) {
        auto line = remote.ReadLine(Ms(10000));
        ASSERT_TRUE(line);
        EXPECT_EQ(line->rfind("joined ", 0), 0u) << *line;
    }

    remote.Kill();
    ASSERT_TRUE(log.Await("a lost " + *c));
    ASSERT_TRUE(log.Await("b lost " + *c));
    EXPECT_EQ(LostCount(), 2u);
    const auto live = a.LiveNodes();
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0].id, b.id);
    EXPECT_EQ(live[0].name, "b");
}

TEST_F(NodeWatchTest, AGoodbyeIsReportedAtOnce) {
    // Silence alone would take a minute here, longer than the wait below.
    const NodeWatch::Settings patient{Ms(100), Ms(60000)};
    LocalNode a(loop, log, nats.Url(), "a", patient);
    LocalNode b(loop, log, nats.Url(), "b", patient);
    ASSERT_TRUE(log.Await("a joined " + b.id));
    b.Leave();
    ASSERT_TRUE(log.Await("a lost " + b.id, 1, Ms(10000)));
    EXPECT_TRUE(a.LiveNodes().empty());
}

TEST_F(NodeWatchTest, WhileNatsIsDownNobodyIsLost) {
    LocalNode a(loop, log, nats.Url(), "a", kQuick);
    LocalNode b(loop, log, nats.Url(), "b", kQuick);
    TestProcess remote;
    const auto c = StartRemote(remote, "c", kQuick);
    ASSERT_TRUE(c);
    for (const auto& e :
         {"a joined " + b.id, "b joined " + a.id, "a joined " + *c, "b joined " + *c}) {
        ASSERT_TRUE(log.Await(e)) << e;
    }

    nats.Stop();
    ASSERT_TRUE(Eventually([&] { return !a.Connected() && !b.Connected(); }));
    // Two time-outs pass without a heartbeat from anyone.
    std::this_thread::sleep_for(2 * kQuick.timeout);
    ASSERT_TRUE(nats.Start());
    ASSERT_TRUE(Eventually([&] { return a.Connected() && b.Connected(); }));
    // Long enough after the return for a wrong judgement to show.
    std::this_thread::sleep_for(2 * kQuick.timeout);
    EXPECT_EQ(LostCount(), 0u);
    EXPECT_EQ(a.LiveNodes().size(), 2u);

    // And they judge again: the remote, killed now, is lost.
    remote.Kill();
    ASSERT_TRUE(log.Await("a lost " + *c));
    ASSERT_TRUE(log.Await("b lost " + *c));
    EXPECT_EQ(LostCount(), 2u);
}

}  // namespace
}  // namespace zorvid::test
