// Any bytes from the network go through these decoders: they must never crash, read out
// of bounds or allocate beyond the limit, and whatever they accept must survive a round
// trip through the encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/codec.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void RoundTrip(const CMsg& m) {
    const std::string wire = zorvi::EncodeMsg(m);
    CMsg again;
    const auto r = zorvi::DecodeMsg(wire, again);
    Check(r.status == zorvi::DecodeStatus::Complete && r.consumed == wire.size() && again == m);
}

void DecodeAll(std::string_view bytes, const zorvi::DecodeLimits& limits) {
    CMsg m;
    const auto r = zorvi::DecodeMsg(bytes, m, limits);
    switch (r.status) {
        case zorvi::DecodeStatus::Complete:
            Check(r.consumed > 0 && r.consumed <= bytes.size() &&
                  r.consumed <= limits.maxRecordBytes);
            RoundTrip(m);
            break;
        case zorvi::DecodeStatus::NeedMore:
            Check(r.needed > bytes.size() && r.needed <= limits.maxRecordBytes);
            break;
        case zorvi::DecodeStatus::Malformed:
            Check(r.error != nullptr && *r.error != '\0');
            break;
    }

    std::string s;
    const auto b = zorvi::DecodeBareString(bytes, s, limits);
    if (b.status == zorvi::DecodeStatus::Complete) {
        Check(b.consumed <= bytes.size());
        std::string back;
        const std::string wire = zorvi::EncodeBareString(s);
        Check(zorvi::DecodeBareString(wire, back).status == zorvi::DecodeStatus::Complete &&
              back == s);
    } else if (b.status == zorvi::DecodeStatus::NeedMore) {
        Check(b.needed > bytes.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    DecodeAll(bytes, {});
    // A small limit exercises the size checks with inputs the fuzzer can reach.
    zorvi::DecodeLimits tight;
    tight.maxRecordBytes = 64;
    DecodeAll(bytes, tight);
    return 0;
}
