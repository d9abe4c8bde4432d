// The bus against a real nats-server: delivery and its order, requests, bounded queues, and
// what an outage does to publishers, requesters and subscribers.
#include "server/cluster/nats_bus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/cluster/loop_thread.h"
#include "tests/cluster/nats_fixture.h"

namespace zorvid::test {
namespace {

using cluster::BusMessage;
using cluster::NatsBus;
using Ms = std::chrono::milliseconds;

class NatsBusTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(nats.Start()) << "nats-server did not start"; }

    std::unique_ptr<NatsBus> Connect(const std::string& name, NatsBus::Settings settings = {}) {
        return NatsBus::Connect(nats.Url(), name, settings);
    }

    // Polls `done` until it holds or the deadline passes.
    template <typename Done>
    static bool Eventually(Done done, Ms timeout = Ms(10000)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(Ms(10));
        }
        return true;
    }

    NatsServer nats;
    LoopThread loop;
    EventLog log;
};

TEST(NatsSubjectTest, SubjectsThatWouldBreakTheProtocolAreRefused) {
    using cluster::ValidSubject;
    EXPECT_TRUE(ValidSubject("zorvi.room.6001"));
    EXPECT_TRUE(ValidSubject("_INBOX.abc.def"));
    for (const char* bad : {"", "a b", "a\r\nPUB x 1", "a..b", ".a", "a.", "r\xc3\xa4um", "a.*"}) {
        EXPECT_FALSE(ValidSubject(bad)) << bad;
    }
    EXPECT_TRUE(ValidSubject("zorvi.node.*", /*wildcards=*/true));
    EXPECT_TRUE(ValidSubject("zorvi.>", true));
    EXPECT_FALSE(ValidSubject("zorvi.>.x", true));
    EXPECT_THROW(NatsBus::Connect("nats://127.0.0.1:1", "bad.name"), std::invalid_argument);
}

TEST_F(NatsBusTest, OnePublishersMessagesArriveAllAndInOrder) {
    constexpr int kCount = 20000;
    auto publisher = Connect("a");
    auto receiver = Connect("b");
    EXPECT_NE(publisher->NodeId(), receiver->NodeId());
    EXPECT_EQ(publisher->NodeId().rfind("a-", 0), 0u) << publisher->NodeId();
    std::vector<int> got;  // on the loop only
    auto sub = receiver->Subscribe("test.order", loop.io, [&](const BusMessage& m) {
        EXPECT_EQ(m.subject, "test.order");
        got.push_back(std::stoi(m.data));
        if (got.size() == kCount) log.Add("all");
    });
    EXPECT_FALSE(publisher->Publish("test.*", "x"));
    EXPECT_THROW(receiver->Subscribe("a b", loop.io, [](const BusMessage&) {}),
                 std::invalid_argument);
    ASSERT_TRUE(receiver->Flush(Ms(5000)));

    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(publisher->Publish("test.order", std::to_string(i)));
    ASSERT_TRUE(publisher->Flush(Ms(5000)));
    ASSERT_TRUE(log.Await("all", 1, Ms(30000)));
    int outOfOrder = 0;
    ASSERT_TRUE(loop.Run([&] {
        for (int i = 0; i < kCount; ++i) outOfOrder += got[i] != i;
    }));
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(sub.Dropped(), 0u);
    ASSERT_TRUE(loop.Run([&] { sub.Unsubscribe(); }));
}

TEST_F(NatsBusTest, RequestsAreAnsweredOrTimeOut) {
    auto service = Connect("service");
    auto client = Connect("client");
    auto echo = service->Subscribe("svc.echo", loop.io, [&](const BusMessage& m) {
        service->Respond(m.reply, "re:" + m.data);
    });
    auto mute = service->Subscribe("svc.mute", loop.io, [](const BusMessage&) {});
    ASSERT_TRUE(service->Flush(Ms(5000)));

    auto answer = client->Request("svc.echo", "hi", Ms(5000));
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, "re:hi");
    EXPECT_FALSE(client->Request("svc.mute", "hi", Ms(300))) << "a listener that never answers";
    EXPECT_FALSE(client->Request("svc.nobody", "hi", Ms(5000))) << "nobody listens";

    // Worker threads ask at once; each gets its own answer, none is stuck behind a time-out.
    std::atomic<int> right{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < 50; ++i) {
                const std::string q = std::to_string(w) + "/" + std::to_string(i);
                right += client->Request("svc.echo", q, Ms(5000)) == "re:" + q;
            }
        });
    }
    for (auto& t : workers) t.join();
    EXPECT_EQ(right.load(), 200);
    ASSERT_TRUE(loop.Run([&] {
        echo.Unsubscribe();
        mute.Unsubscribe();
    }));
}

TEST_F(NatsBusTest, AStalledHandlerDropsMessagesInsteadOfQueueingThemAll) {
    constexpr int kCount = 2000;
    constexpr int kLimit = 100;
    constexpr int kByteLimit = 10 * 1000;
    auto publisher = Connect("a");
    auto receiver = Connect("b");
    std::promise<void> release;
    auto released = release.get_future();
    std::atomic<std::size_t> stalledHandled{0}, byBytesHandled{0};
    // The first handler holds the loop, so neither subscription's handler gets further.
    auto stalled = receiver->Subscribe("test.flood", loop.io,
                                       [&](const BusMessage&) {
                                           if (stalledHandled++ == 0) released.wait_for(Ms(30000));
                                       },
                                       {kLimit, 1 << 30});
    auto byBytes = receiver->Subscribe(
        "test.flood", loop.io, [&](const BusMessage&) { ++byBytesHandled; }, {1 << 30, kByteLimit});
    ASSERT_TRUE(receiver->Flush(Ms(5000)));

    const std::string payload(1000, 'x');
    for (int i = 0; i < kCount; ++i) ASSERT_TRUE(publisher->Publish("test.flood", payload));
    ASSERT_TRUE(publisher->Flush(Ms(5000)));
    // Every message is handled, waiting or dropped, once libnats has handed them all over.
    ASSERT_TRUE(Eventually([&] {
        // The loop is held from the first stalled message on: the counts stand still.
        return stalledHandled == 1 && stalled.Pending() + stalled.Dropped() + 1 == kCount &&
               byBytes.Pending() + byBytes.Dropped() + byBytesHandled == kCount;
    })) << stalled.Pending()
        << " " << stalled.Dropped() << " " << byBytes.Pending() << " " << byBytes.Dropped() << " "
        << byBytesHandled;
    // Our queue and libnats's each hold at most the limit.
    EXPECT_LE(stalled.Pending(), 2u * kLimit);
    EXPECT_LE(byBytes.Pending() * payload.size(), 2u * kByteLimit + 2 * payload.size());
    EXPECT_GT(stalled.Dropped(), 0u);
    EXPECT_GT(byBytes.Dropped(), 0u);

    // Released, the handlers get what waited: every message was handled or counted dropped.
    release.set_value();
    EXPECT_TRUE(Eventually([&] {
        return stalled.Dropped() + stalledHandled == kCount &&
               byBytes.Dropped() + byBytesHandled == kCount;
    })) << stalled.Dropped()
        << " " << stalledHandled << " " << byBytes.Dropped() << " " << byBytesHandled;
    ASSERT_TRUE(loop.Run([&] {
        stalled.Unsubscribe();
        byBytes.Unsubscribe();
    }));
}

TEST_F(NatsBusTest, AnOutageRefusesWhatCannotWaitAndTheBusComesBack) {
    NatsBus::Settings smallBuffer;
    smallBuffer.reconnectBufferBytes = 64 * 1024;
    auto a = Connect("a", smallBuffer);
    auto b = Connect("b");
    auto leaving = Connect("leaving");
    NatsBus::ConnectionWatch watchA, watchB;
    NatsBus::Subscription sub;
    ASSERT_TRUE(loop.Run([&] {
        watchA = a->WatchConnection(loop.io, [&](bool up) { log.Add(up ? "a up" : "a down"); });
        watchB = b->WatchConnection(loop.io, [&](bool up) { log.Add(up ? "b up" : "b down"); });
        sub = b->Subscribe("test.after", loop.io,
                           [&](const BusMessage& m) { log.Add("got " + m.data); });
    }));
    ASSERT_TRUE(b->Flush(Ms(5000)));
    ASSERT_TRUE(a->Connected());

    nats.Stop();
    ASSERT_TRUE(log.Await("a down"));
    ASSERT_TRUE(log.Await("b down"));
    EXPECT_FALSE(a->Connected());
    // Publications wait in the reconnect buffer until it is full, then are refused.
    const std::string kilobyte(1024, 'x');
    int accepted = 0;
    bool refused = false;
    for (int i = 0; i < 1000 && !refused; ++i) {
        if (a->Publish("test.buffered", kilobyte)) {
            ++accepted;
        } else {
            refused = true;
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_LE(accepted, 64);
    EXPECT_FALSE(a->Request("test.any", "x", Ms(2000)));
    EXPECT_FALSE(a->Flush(Ms(200)));
    // A bus that cannot drain closes anyway.
    auto closed = std::make_shared<std::promise<void>>();
    auto closedFuture = closed->get_future();
    std::thread([bus = std::move(leaving), closed]() mutable {
        bus.reset();
        closed->set_value();
    }).detach();
    EXPECT_EQ(closedFuture.wait_for(Ms(10000)), std::future_status::ready);
    // With no server at all, connecting fails with libnats's reason.
    try {
        NatsBus::Connect(nats.Url(), "late");
        ADD_FAILURE() << "connected to a stopped server";
    } catch (const std::runtime_error& e) {
        EXPECT_THAT(e.what(), ::testing::HasSubstr("cannot connect to NATS at " + nats.Url()));
    }

    ASSERT_TRUE(nats.Start());
    ASSERT_TRUE(log.Await("a up", 1, Ms(20000)));
    ASSERT_TRUE(log.Await("b up", 1, Ms(20000)));
    EXPECT_EQ(a->Reconnects(), 1u);
    // The subscription was renewed on the new server.
    ASSERT_TRUE(b->Flush(Ms(5000)));
    ASSERT_TRUE(a->Publish("test.after", "back"));
    ASSERT_TRUE(log.Await("got back"));
    ASSERT_TRUE(loop.Run([&] {
        sub.Unsubscribe();
        watchA = {};
        watchB = {};
    }));
}

TEST_F(NatsBusTest, AHungServerHoldsNoPublisher) {
    NatsBus::Settings smallBuffer;
    smallBuffer.reconnectBufferBytes = 64 * 1024;
    auto a = Connect("a", smallBuffer);
    NatsBus::ConnectionWatch watch;
    ASSERT_TRUE(loop.Run([&] {
        watch = a->WatchConnection(loop.io, [&](bool up) { log.Add(up ? "up" : "down"); });
    }));

    nats.Pause();
    // The socket fills, a write meets its deadline, the connection is given up and the
    // reconnect buffer fills in turn: then publications are refused.
    const std::string kilobyte(1024, 'x');
    bool refused = false;
    for (int i = 0; i < 1024 * 1024 && !refused; ++i) refused = !a->Publish("test.hung", kilobyte);
    EXPECT_TRUE(refused);
    EXPECT_TRUE(log.Await("down"));
    EXPECT_FALSE(a->Request("test.any", "x", Ms(2000)));

    nats.Resume();
    EXPECT_TRUE(log.Await("up", 1, Ms(20000)));
    EXPECT_TRUE(a->Flush(Ms(5000)));
    ASSERT_TRUE(loop.Run([&] { watch = {}; }));
}

}  // namespace
}  // namespace zorvid::test
