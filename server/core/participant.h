#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "server/core/relay_frames.h"

namespace zorvid {

// One chat connection as the room logic sees it. The network layer implements it over a
// socket; unit tests implement it with a recorder.
class Participant {
public:
    virtual ~Participant() = default;
    // Queues one encoded record; it leaves with whatever else this turn produced.
    virtual void Send(std::string_view encodedRecord) = 0;
    // Sends what is queued, then closes. The logic has already forgotten the participant.
    virtual void Close() = 0;
    virtual const std::string& PeerAddress() const = 0;
    // In a cluster, where the connection is; nothing for a connection of this node's own.
    virtual std::optional<RelayAddress> Link() const { return std::nullopt; }
};

// Opens and closes the listening chat port of a room.
class ChatPortProvider {
public:
    virtual ~ChatPortProvider() = default;
    // The bound port, or -1 when no port can be opened. A cluster node passes the port the
    // cluster gave the room.
    virtual int OpenChatPort(int claimed = -1) = 0;
    virtual void CloseChatPort(int port) = 0;
};

}  // namespace zorvid
