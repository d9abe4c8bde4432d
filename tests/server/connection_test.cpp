// A connection's output to a peer that reads slowly: the socket's buffer fills, the rest
// waits in the connection and must still arrive whole and in order.
#include "server/core/connection.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <optional>
#include <thread>

#include "server/core/output_batch.h"
#include "tests/server/test_client.h"

namespace zorvid::test {
namespace {

using Ms = std::chrono::milliseconds;

class Tracker final : public ConnectionTracker {
public:
    explicit Tracker(asio::io_context& io) : output_(io) {}
    void Opened(Connection&) override { ++opened; }
    void Closed(Connection&) override { ++closed; }
    void Log(std::string_view line) override { log += std::string(line) + "\n"; }
    OutputBatch& Output() override { return output_; }

    int opened = 0, closed = 0;
    std::string log;

private:
    OutputBatch output_;
};

// Discards what the peer sends; the tests only write.
class Sink final : public Connection {
public:
    using Connection::Connection;

private:
    std::size_t Consume(std::string_view input) override {
        MarkActive();
        return input.size();
    }
};

class SlowReader : public ::testing::Test {
protected:
    void SetUp() override {
        asio::ip::tcp::acceptor acceptor(io, {asio::ip::make_address("127.0.0.1"), 0});
        ASSERT_TRUE(client.Connect(acceptor.local_endpoint().port()));
        asio::ip::tcp::socket accepted(io);
        acceptor.accept(accepted);
        // A small send buffer on the service's side: output backs up into the connection early.
        accepted.set_option(asio::socket_base::send_buffer_size(4096));
        ConnectionLimits limits;
        limits.maxQueuedBytes = 8 * 1024 * 1024;
        limits.idleLimit = limits.firstDeadline = std::chrono::seconds(30);
        connection =
            std::make_shared<Sink>(std::move(accepted), "127.0.0.1", limits, tracker, "test");
        connection->Start();
        loop = std::thread([this] { io.run(); });
    }

    void TearDown() override {
        asio::post(io, [this] {
            connection->Abort("");
            connection.reset();
        });
        work.reset();
        loop.join();
    }

    // Runs `job` on the event loop and waits for it.
    void OnLoop(std::function<void()> job) {
        std::promise<void> done;
        asio::post(io, [&] {
            job();
            done.set_value();
        });
        ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    }

    // Reads exactly `size` bytes, with a deadline.
    std::string ReadAll(std::size_t size) {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (got.size() < size && std::chrono::steady_clock::now() < deadline) {
            std::string chunk;
            if (!client.ReceiveSome(chunk, Ms(2000))) break;
            got += chunk;
        }
        return got;
    }

    asio::io_context io;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work{
        asio::make_work_guard(io)};
    Tracker tracker{io};
    TestClient client;
    std::shared_ptr<Connection> connection;
    std::thread loop;
};

// Numbered records, so that loss, duplication and reordering all show.
std::string Numbered(int first, int count) {
    std::string out;
    for (int i = first; i < first + count; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%08d-", i);
        out += line;
        out += std::string(200, static_cast<char>('a' + i % 26));
        out += '\n';
    }
    return out;
}

TEST_F(SlowReader, EverythingQueuedArrivesWholeAndInOrder) {
    // Several turns of output while the peer reads nothing: far more than the kernel's
    // buffers hold, so most of it waits in the connection.
    std::string expected;
    for (int turn = 0; turn < 8; ++turn) {
        const std::string bytes = Numbered(turn * 2000, 2000);
        expected += bytes;
        OnLoop([&] {
            for (std::size_t at = 0; at < bytes.size(); at += 209)
                connection->Queue(std::string_view(bytes).substr(at, 209));
        });
    }
    ASSERT_GT(expected.size(), 3u * 1024 * 1024);
    const std::string got = ReadAll(expected.size());
    ASSERT_EQ(got.size(), expected.size());
    EXPECT_TRUE(got == expected) << "output lost, repeated or reordered";
    EXPECT_EQ(tracker.closed, 0) << tracker.log;
}

TEST_F(SlowReader, CloseAfterFlushSendsEverythingBeforeTheEnd) {
    const std::string expected = Numbered(0, 10000);
    OnLoop([&] {
        connection->Queue(expected);
        connection->CloseAfterFlush();
        connection->Queue("too late");  // nothing may follow the close
    });
    const std::string got = ReadAll(expected.size());
    EXPECT_TRUE(got == expected);
    EXPECT_TRUE(client.WaitClosed(Ms(3000)));  // then the end of the stream, nothing more
    EXPECT_TRUE(client.Buffered().empty());
}

TEST_F(SlowReader, AQueueOverItsBoundDropsTheConnection) {
    OnLoop([&] {
        const std::string big(1024 * 1024, 'x');
        for (int i = 0; i < 10; ++i) connection->Queue(big);  // past 8 MiB unread
    });
    EXPECT_TRUE(client.WaitClosed(Ms(5000)));
    OnLoop([] {});
    EXPECT_EQ(tracker.closed, 1);
    EXPECT_NE(tracker.log.find("output queue over its limit"), std::string::npos);
}

}  // namespace
}  // namespace zorvid::test
