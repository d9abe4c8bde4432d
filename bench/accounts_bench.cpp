// The login of an existing account, with the cheapest password hash so that the storage
// shows: from an SQLite file (the baseline for the ratio) and from PostgreSQL on loopback,
// started for the run (scripts/pg-throwaway.sh). Then a room claim in the cluster's ledger.
#include <benchmark/benchmark.h>
#include <sodium.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "server/core/pg_account_store.h"
#include "server/core/pg_pool.h"
#include "server/core/pg_room_ledger.h"
#include "server/core/sqlite_account_store.h"
#include "support_pg/pg_fixture.h"

namespace {

using namespace std::chrono_literals;

void Login(benchmark::State& state, zorvid::AccountStore& store) {
    if (store.Register("ann", "pw") == zorvid::RegisterOutcome::BadName) {
        state.SkipWithError("no account");
        return;
    }
    for (auto _ : state) {
        if (store.Login("ann", "pw", false) != zorvid::LoginOutcome::Accepted) {
            state.SkipWithError("login refused");
            break;
        }
    }
}

// Claims and releases one room: the insert that arbitrates between nodes, and its undoing.
void ClaimAndRelease(benchmark::State& state, zorvid::PgRoomLedger& ledger) {
    for (auto _ : state) {
        if (ledger.Claim("Lobby", 7000, 7999, "n1").outcome !=
                zorvid::PgRoomLedger::Outcome::Claimed ||
            !ledger.Release("Lobby", "n1")) {
            state.SkipWithError("claim failed");
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto file = std::filesystem::temp_directory_path() /
                      ("kv-bench-accounts-" + std::to_string(::getpid()) + ".db");
    std::filesystem::remove(file);
    try {
        zorvid::test::ThrowawayPostgres pg;
        const auto pool = std::make_shared<zorvid::PgPool>(pg.Uri(), 5s);
        zorvid::SqliteAccountStore sqlite(file.string(), crypto_pwhash_OPSLIMIT_MIN,
                                          crypto_pwhash_MEMLIMIT_MIN, 32);
        zorvid::PgAccountStore postgres(pool, crypto_pwhash_OPSLIMIT_MIN,
                                        crypto_pwhash_MEMLIMIT_MIN, 32);
        zorvid::PgRoomLedger ledger(pool);
        benchmark::RegisterBenchmark("Login/sqlite", Login, std::ref(sqlite))->UseRealTime();
        benchmark::RegisterBenchmark("Login/postgres", Login, std::ref(postgres))->UseRealTime();
        benchmark::RegisterBenchmark("ClaimAndRelease/postgres", ClaimAndRelease, std::ref(ledger))
            ->UseRealTime();
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception& e) {
        std::cerr << "kv_bench_accounts: " << e.what() << '\n';
        std::filesystem::remove(file);
        return 1;
    }
    benchmark::Shutdown();
    std::filesystem::remove(file);
    return 0;
}
