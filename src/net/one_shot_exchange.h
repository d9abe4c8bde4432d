#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/cmsg.h"
#include "net/protocol.h"

namespace zorvi {

class ZorviSocket;

// What one short-lived exchange sends: the request, whether a reply is read, and the kind
// of its closing notice (the version check and the room removal close with kReply).
struct OneShotPlan {
    CMsg request;
    bool readsReply = true;
    std::int32_t closingCode1 = code1::kRequest;
    // Run once the connection is open, before the request goes out, and once the reply
    // is complete, before the closing notice: callers tie waiting indications to these.
    std::function<void()> onConnected;
    std::function<void()> onReplied;
};

// The step at which an exchange stopped.
enum class OneShotStep { None, Create, Connect, Send, Receive, Closing };

struct OneShotResult {
    OneShotStep failedAt = OneShotStep::None;
    CMsg reply;  // whole when Answered(); empty otherwise

    bool Ok() const { return failedAt == OneShotStep::None; }
    bool Opened() const {
        return failedAt != OneShotStep::Create && failedAt != OneShotStep::Connect;
    }
    // The request went out and any reply arrived whole; only the closing notice may be lost.
    bool Answered() const { return Ok() || failedAt == OneShotStep::Closing; }
};

// Runs one exchange on `socket`: Create, Connect to host:port, Init, send the request, read
// the reply where the plan has one, send the closing notice {closingCode1, kClosing} and
// Close. Any failed step ends it there: the socket is closed, and once open, its unsent
// output is dropped first (Abort). Never throws StreamFailure.
OneShotResult RunOneShot(ZorviSocket& socket, const std::string& host, int port,
                         const OneShotPlan& plan);

}  // namespace zorvi
