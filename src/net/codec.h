#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/cmsg.h"

// The byte encoding of records and bare strings: pure functions over bytes, shared by
// the client, the service and the tools. No sockets, no Qt.
namespace zorvi {

inline constexpr std::size_t kDefaultMaxRecordBytes = 16u * 1024u * 1024u;

struct DecodeLimits {
    // A record (or bare string) that claims more bytes than this is rejected as malformed
    // before anything of that size is allocated.
    std::size_t maxRecordBytes = kDefaultMaxRecordBytes;
};

enum class DecodeStatus {
    Complete,   // one whole value was decoded; `consumed` bytes belong to it
    NeedMore,   // the bytes end inside the value; `needed` is a lower bound of the total
    Malformed,  // not a valid encoding; the stream has lost its place and must be closed
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::NeedMore;
    std::size_t consumed = 0;  // with Complete
    std::size_t needed = 0;    // with NeedMore: at least this many bytes in all are needed
    const char* error = "";    // with Malformed: why
};

// Appends the encoding of `msg` to `out`.
void AppendMsg(const CMsg& msg, std::string& out);
std::string EncodeMsg(const CMsg& msg);

// The join handshake sends and answers single strings in the string encoding.
void AppendBareString(std::string_view s, std::string& out);
std::string EncodeBareString(std::string_view s);

// Decodes one value at a time from input that grows between calls, keeping its place: a
// field is decoded once, whether its bytes arrive whole or one at a time, so the work per
// value is linear in its size however the peer trickles it.
class ValueDecoder {
public:
    explicit ValueDecoder(DecodeLimits limits = {}) : limits_(limits) {}

    // `bytes` starts at the value's first byte and holds at least the bytes of the previous
    // call for the same value. On Complete the value is in Msg() or BareString() until the
    // next call, which starts the next value; after Malformed, call Reset.
    DecodeResult NextMsg(std::string_view bytes);
    DecodeResult NextBareString(std::string_view bytes);

    CMsg& Msg() { return msg_; }
    std::string& BareString() { return bare_; }
    // Forgets the value begun so far.
    void Reset();
    void SetLimits(DecodeLimits limits) { limits_ = limits; }
    // True while a value has begun and is not complete.
    bool InValue() const { return step_ != Step::Start; }
    // Bytes read from the input in all, re-reads of a field's header included: what the
    // tests and benchmarks compare to the size of the values.
    std::uint64_t Examined() const { return examined_; }

private:
    enum class Step : std::uint8_t {
        Start,
        Code1,
        Code2,
        TextHead,
        TextBody,
        Number,
        ListCount,
        ItemHead,
        ItemBody,
        ArrayCount,
        ArrayBody,
        BareHead,
        BareBody,
    };
    DecodeResult Run(std::string_view bytes);

    DecodeLimits limits_;
    CMsg msg_;
    std::string bare_;
    Step step_ = Step::Start;
    std::size_t pos_ = 0;          // bytes of the value decoded so far
    std::size_t count_ = 0;        // strings in the list, or numbers in the array
    std::size_t done_ = 0;         // strings of the list decoded so far
    std::size_t stringBytes_ = 0;  // the body length of the string being decoded
    bool wide_ = false;            // that body is UTF-16LE
    std::uint64_t examined_ = 0;
};

// Decodes one record from the front of `bytes` into `out` (which is reset first).
DecodeResult DecodeMsg(std::string_view bytes, CMsg& out, const DecodeLimits& limits = {});
DecodeResult DecodeBareString(std::string_view bytes, std::string& out,
                              const DecodeLimits& limits = {});

// UTF-16LE code units (as raw bytes) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view utf16le);

}  // namespace zorvi
