// Log lines that names cannot forge, and the bound on password hashing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "server/core/chat_host.h"
#include "server/core/event_log.h"
#include "server/core/hash_gate.h"
#include "server/core/sqlite_account_store.h"
#include "tests/server/fake_participant.h"

namespace zorvid::test {
namespace {

using namespace std::chrono_literals;

// Records what would go to the journal.
class RecordingSink : public LogSink {
public:
    void Event(std::string_view message, std::initializer_list<LogField> fields) override {
        messages.emplace_back(message);
        for (const auto& f : fields) this->fields.emplace_back(f.key, f.value);
    }
    std::vector<std::string> messages;
    std::vector<std::pair<std::string, std::string>> fields;
};

// A name with a quote and a line break once wrote a second, fake event line.
TEST(CleanLog, ANameCannotForgeALine) {
    const std::string forged = "eve\" left \"Lobby\"\nzorvid: account \"root\" created";
    std::ostringstream text;
    RecordingSink journal;
    EventLog log(&text, &journal);
    ServerConfig config;
    config.rooms.push_back({"Lobby", 'a', {}});
    config.requireLoginToJoin = false;
    FakePorts ports;
    ChatHost host(config, ports, log, [] { return std::chrono::steady_clock::time_point{}; });
    ASSERT_TRUE(host.OpenPermanentRooms());
    FakeParticipant eve("127.0.0.9");
    ASSERT_EQ(host.Join(ports.open.front(), forged, eve), JoinAnswer::Ok);

    std::vector<std::string> lines;
    std::istringstream in(text.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u) << text.str();  // the room opening, then the join
    EXPECT_EQ(lines[1],
              "zorvid: \"eve\\\" left \\\"Lobby\\\"\\x0azorvid: account \\\"root\\\" created\" "
              "joined \"Lobby\" from 127.0.0.9");
    // The journal keeps the name whole, as its own field.
    EXPECT_NE(std::find(journal.fields.begin(), journal.fields.end(),
                        std::pair<std::string, std::string>("NAME", forged)),
              journal.fields.end());
    EXPECT_EQ(journal.messages.size(), 2u);

    log.Line("any text\r\nzorvid: forged");  // lines without quoted names are kept whole too
    EXPECT_EQ(text.str().substr(text.str().rfind("zorvid: any")),
              "zorvid: any text\\x0d\\x0azorvid: forged\n");
}

// Two slots and two places in the queue: the fifth waiting check is refused at once, and
// no more than two ever run, counted by the work itself.
TEST(HashBound, AtMostNRunAndAFullQueueIsRefused) {
    HashGate gate(HashLimits{2, 2, 10s});
    std::atomic<int> running{0}, peak{0};
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const auto work = [&] {
        const int now = ++running;
        int seen = peak.load();
        while (seen < now && !peak.compare_exchange_weak(seen, now)) {
        }
        released.wait_for(10s);
        --running;
        return true;
    };
    std::vector<std::future<bool>> calls;
    for (int i = 0; i < 4; ++i) {
        calls.push_back(std::async(std::launch::async, [&] { return gate.Run(work); }));
    }
    for (int i = 0; i < 500 && (gate.Waiting() < 2 || gate.Running() < 2); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_EQ(gate.Running(), 2u);
    ASSERT_EQ(gate.Waiting(), 2u);
    EXPECT_THROW(gate.Run(work), HashBusy);
    release.set_value();
    for (auto& c : calls) EXPECT_TRUE(c.get());
    EXPECT_EQ(peak.load(), 2);

    HashGate impatient(HashLimits{1, 1, 50ms});  // a wait that runs out is refused as well
    std::promise<void> hold;
    auto holder = std::async(std::launch::async, [&] {
        return impatient.Run([&] { return hold.get_future().wait_for(10s); });
    });
    for (int i = 0; i < 500 && impatient.Running() < 1; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_THROW(impatient.Run([] { return 0; }), HashBusy);
    hold.set_value();
    EXPECT_EQ(holder.get(), std::future_status::ready);
}

// Eight registrations at once through the store: each either succeeds or is refused as
// busy, and the store's hashes never overlap beyond the bound.
TEST(HashBound, ParallelRegistrationsStayWithinTheBound) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("kv-hash-bound-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    {
        SqliteAccountStore store((dir / "a.db").string(), 1, 8192, 32, HashLimits{2, 3, 10s});
        std::vector<std::future<int>> regs;
        for (int i = 0; i < 8; ++i) {
            regs.push_back(std::async(std::launch::async, [&store, i] {
                try {
                    return store.Register("user" + std::to_string(i), "pw") ==
                                   RegisterOutcome::Created
                               ? 1
                               : 0;
                } catch (const HashBusy&) {
                    return 2;
                }
            }));
        }
        int created = 0, busy = 0;
        for (auto& r : regs) {
            const int outcome = r.get();
            created += outcome == 1;
            busy += outcome == 2;
        }
        EXPECT_EQ(created + busy, 8);
        EXPECT_GE(created, 5);  // two running and three queued always get through
        EXPECT_LE(store.Gate().PeakRunning(), 2u);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zorvid::test
