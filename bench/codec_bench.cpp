// Records per second and bytes per second of the codec. Each shape is measured three
// ways: encode, decode and a plain memcpy of the encoded bytes, the baseline for ratios
// (bench/codec_ratios.py prints them).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "net/codec.h"
#include "net/protocol.h"

namespace {

CMsg Closing() { return CMsg(code1::kRequest, code2::kClosing); }

CMsg ChatLine() {
    CMsg m(code1::kUserAction, code2::kChatLine);
    m.text = "alice: " + std::string(93, 'w');  // 100 bytes of text
    return m;
}

CMsg ChannelList() {
    CMsg m(code1::kReply, code2::kChannelList);
    for (int i = 0; i < 1000; ++i) {
        std::string name(1, i % 3 ? '+' : '-');
        name += "Room number ";
        name += std::to_string(i);
        m.list.push_back(std::move(name));
        m.array.push_back(i % 50);
    }
    return m;
}

CMsg BigString() {
    CMsg m(code1::kUserAction, code2::kChatLine);
    m.text.assign(1u << 20, 'z');
    return m;
}

template <CMsg (*Make)()>
void Encode(benchmark::State& state) {
    const CMsg msg = Make();
    std::string out;
    for (auto _ : state) {
        out.clear();
        zorvi::AppendMsg(msg, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}

template <CMsg (*Make)()>
void Decode(benchmark::State& state) {
    const std::string wire = zorvi::EncodeMsg(Make());
    CMsg out;
    for (auto _ : state) {
        const auto r = zorvi::DecodeMsg(wire, out);
        if (r.status != zorvi::DecodeStatus::Complete) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}

template <CMsg (*Make)()>
void Memcpy(benchmark::State& state) {
    const std::string wire = zorvi::EncodeMsg(Make());
    std::string copy(wire.size(), '\0');
    for (auto _ : state) {
        std::memcpy(copy.data(), wire.data(), wire.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * wire.size()));
}

}  // namespace

BENCHMARK(Encode<Closing>)->Name("Encode/closing_14_25");
BENCHMARK(Decode<Closing>)->Name("Decode/closing_14_25");
BENCHMARK(Memcpy<Closing>)->Name("Memcpy/closing_14_25");
BENCHMARK(Encode<ChatLine>)->Name("Encode/chat_line_100");
BENCHMARK(Decode<ChatLine>)->Name("Decode/chat_line_100");
BENCHMARK(Memcpy<ChatLine>)->Name("Memcpy/chat_line_100");
BENCHMARK(Encode<ChannelList>)->Name("Encode/channel_list_1000");
BENCHMARK(Decode<ChannelList>)->Name("Decode/channel_list_1000");
BENCHMARK(Memcpy<ChannelList>)->Name("Memcpy/channel_list_1000");
BENCHMARK(Encode<BigString>)->Name("Encode/string_1MiB");
BENCHMARK(Decode<BigString>)->Name("Decode/string_1MiB");
BENCHMARK(Memcpy<BigString>)->Name("Memcpy/string_1MiB");

BENCHMARK_MAIN();
