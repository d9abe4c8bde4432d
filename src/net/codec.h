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

// Decodes one record from the front of `bytes` into `out` (which is reset first).
DecodeResult DecodeMsg(std::string_view bytes, CMsg& out, const DecodeLimits& limits = {});
DecodeResult DecodeBareString(std::string_view bytes, std::string& out,
                              const DecodeLimits& limits = {});

// UTF-16LE code units (as raw bytes) to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view utf16le);

}  // namespace zorvi
