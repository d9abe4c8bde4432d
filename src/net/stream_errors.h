#pragma once

#include <stdexcept>
#include <string>

namespace zorvi {

// Every failure of a connection's send or receive is a StreamFailure; callers guard
// their exchanges against this one type and report in their own words.
struct StreamFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A socket call failed; `errorNumber` is the errno (ETIMEDOUT for a time-out).
struct SocketError : StreamFailure {
    SocketError(const std::string& what, int err) : StreamFailure(what), errorNumber(err) {}
    int errorNumber;
};

// The peer closed the stream before a record or bare string was complete.
struct EndOfStream : StreamFailure {
    EndOfStream() : StreamFailure("connection closed by peer") {}
};

// The bytes are not a valid encoding (or exceed the size limit); the stream has lost its
// place and the connection cannot be used for further records.
struct ProtocolError : StreamFailure {
    using StreamFailure::StreamFailure;
};

}  // namespace zorvi
