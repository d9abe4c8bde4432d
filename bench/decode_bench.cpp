// CPU time of decoding one record as each reader does it, fed whole and one byte per read,
// in the same run; and the old way (decoding again from the first byte at every read) as the
// baseline of the fix. bench/decode_ratios.py prints the ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "net/codec.h"
#include "server/core/connection.h"

namespace {

CMsg LongText() {
    CMsg m(15, 11);
    m.text.assign(16'000, 'x');
    return m;
}

CMsg EmptyStrings() {
    CMsg m(15, 11);
    m.list.assign(16'000, std::string());
    return m;
}

constexpr zorvi::DecodeLimits kLimits{64 * 1024};

void Count(benchmark::State& state, const std::string& wire, std::uint64_t examined) {
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
    state.counters["examined_per_byte"] =
        static_cast<double>(examined) / static_cast<double>(state.iterations() * wire.size());
}

// zorvid's connection: each read lands in its input buffer, and the connection's decoder
// resumes on what the buffer holds.
template <CMsg (*Make)(), std::size_t kStep>
void Zorvid(benchmark::State& state) {
    const std::string wire = zorvi::EncodeMsg(Make());
    const std::size_t step = std::min(kStep, wire.size());
    zorvid::InputBuffer input;
    zorvi::ValueDecoder decoder(kLimits);
    for (auto _ : state) {
        for (std::size_t at = 0; at < wire.size(); at += step) {
            const std::size_t n = std::min(step, wire.size() - at);
            std::memcpy(input.Reserve(n), wire.data() + at, n);
            input.Commit(n);
            const auto r = decoder.NextMsg(input.View());
            if (r.status == zorvi::DecodeStatus::Complete) {
                benchmark::DoNotOptimize(decoder.Msg());
                input.Consume(r.consumed);
            }
        }
        if (input.Size() != 0) state.SkipWithError("record not decoded");
        input.ReleaseEmpty(2048);
    }
    Count(state, wire, decoder.Examined());
}

// The client's socket: reads append to its buffer, and the decoder is asked again only once
// the bytes it said it needs are there.
template <CMsg (*Make)(), std::size_t kStep>
void Client(benchmark::State& state) {
    const std::string wire = zorvi::EncodeMsg(Make());
    const std::size_t step = std::min(kStep, wire.size());
    std::string buffer;
    zorvi::ValueDecoder decoder(kLimits);
    for (auto _ : state) {
        std::size_t needed = 1;
        for (std::size_t at = 0; at < wire.size(); at += step) {
            buffer.append(wire, at, std::min(step, wire.size() - at));
            if (buffer.size() < needed) continue;
            const auto r = decoder.NextMsg(buffer);
            if (r.status == zorvi::DecodeStatus::Complete) {
                benchmark::DoNotOptimize(decoder.Msg());
                buffer.clear();
                needed = 1;
            } else {
                needed = std::max(r.needed, buffer.size() + 1);
            }
        }
        if (!buffer.empty()) state.SkipWithError("record not decoded");
    }
    Count(state, wire, decoder.Examined());
}

// Before: every read decoded the unfinished record again from its first byte.
template <CMsg (*Make)(), std::size_t kStep>
void FromScratch(benchmark::State& state) {
    const std::string wire = zorvi::EncodeMsg(Make());
    const std::size_t step = std::min(kStep, wire.size());
    std::string buffer;
    CMsg out;
    for (auto _ : state) {
        for (std::size_t at = 0; at < wire.size(); at += step) {
            buffer.append(wire, at, std::min(step, wire.size() - at));
            const auto r = zorvi::DecodeMsg(buffer, out, kLimits);
            if (r.status == zorvi::DecodeStatus::Complete) buffer.clear();
        }
        if (!buffer.empty()) state.SkipWithError("record not decoded");
    }
    Count(state, wire, 0);
}

constexpr std::size_t kWhole = ~std::size_t{0};

}  // namespace

BENCHMARK(Zorvid<LongText, kWhole>)->Name("zorvid/long_text/whole");
BENCHMARK(Zorvid<LongText, 1>)->Name("zorvid/long_text/byte_by_byte");
BENCHMARK(Zorvid<EmptyStrings, kWhole>)->Name("zorvid/empty_strings/whole");
BENCHMARK(Zorvid<EmptyStrings, 1>)->Name("zorvid/empty_strings/byte_by_byte");
BENCHMARK(Client<LongText, kWhole>)->Name("client/long_text/whole");
BENCHMARK(Client<LongText, 1>)->Name("client/long_text/byte_by_byte");
BENCHMARK(Client<EmptyStrings, kWhole>)->Name("client/empty_strings/whole");
BENCHMARK(Client<EmptyStrings, 1>)->Name("client/empty_strings/byte_by_byte");
BENCHMARK(FromScratch<LongText, kWhole>)->Name("before/long_text/whole");
BENCHMARK(FromScratch<LongText, 1>)->Name("before/long_text/byte_by_byte");
BENCHMARK(FromScratch<EmptyStrings, kWhole>)->Name("before/empty_strings/whole");
BENCHMARK(FromScratch<EmptyStrings, 1>)->Name("before/empty_strings/byte_by_byte")->Iterations(1);

BENCHMARK_MAIN();
