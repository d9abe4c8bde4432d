// The incremental reader: bytes arrive in pieces of any size, and the decoder that keeps its
// place must answer exactly what decoding each value from its first byte answers, value for
// value, and read each byte about once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "net/codec.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Feeds `stream` in pieces of 1 to 16 bytes chosen by `seed`. With `bareFirst`, the first
// value is a bare string, as on a chat connection.
void Feed(std::string_view stream, std::uint32_t seed, bool bareFirst,
          const zorvi::DecodeLimits& limits) {
    zorvi::ValueDecoder decoder(limits);
    std::string buffer;
    std::size_t start = 0;  // the first byte of the value being decoded
    std::size_t calls = 0;
    bool bare = bareFirst;
    std::size_t at = 0;
    while (at < stream.size()) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const std::size_t piece = std::min<std::size_t>(1 + seed % 16, stream.size() - at);
        buffer.append(stream.substr(at, piece));
        at += piece;
        while (true) {
            const std::string_view rest = std::string_view(buffer).substr(start);
            ++calls;
            zorvi::DecodeResult got, want;
            CMsg msg;
            std::string s;
            if (bare) {
                got = decoder.NextBareString(rest);
                want = zorvi::DecodeBareString(rest, s, limits);
            } else {
                got = decoder.NextMsg(rest);
                want = zorvi::DecodeMsg(rest, msg, limits);
            }
            Check(got.status == want.status);
            if (got.status == zorvi::DecodeStatus::NeedMore) {
                Check(got.needed == want.needed && got.needed > rest.size());
                break;
            }
            if (got.status == zorvi::DecodeStatus::Malformed) {
                Check(std::strcmp(got.error, want.error) == 0);
                return;  // the stream has lost its place
            }
            Check(got.consumed == want.consumed && got.consumed > 0);
            Check(bare ? decoder.BareString() == s : decoder.Msg() == msg);
            start += got.consumed;
            bare = false;
        }
        // At most a length prefix (10 bytes) is read again per call.
        Check(decoder.Examined() <= buffer.size() + 10 * calls);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::uint32_t seed = static_cast<std::uint32_t>(size) * 2654435761u | 1u;
    zorvi::DecodeLimits tight;
    tight.maxRecordBytes = 64;
    for (bool bareFirst : {false, true}) {
        Feed(bytes, seed, bareFirst, {});
        Feed(bytes, seed ^ (size ? data[0] : 0u), bareFirst, tight);
    }
    return 0;
}
