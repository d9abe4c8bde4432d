#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvid {

// Where a relayed chat connection lives: the node that holds its socket, the event loop
// there, and the connection's number on that node.
struct RelayAddress {
    std::string node;
    int loop = 0;
    std::uint64_t conn = 0;

    bool operator==(const RelayAddress&) const = default;
};

// What crosses between the node that holds a chat connection and the node its room lives
// on. Several frames travel in one bus message; a message is the frames back to back.
enum class FrameKind : std::uint8_t {
    Join = 1,    // relay -> home: `text` is the name, `address` the peer's address
    Input = 2,   // relay -> home: `bytes` are whole records from the client
    Gone = 3,    // relay -> home: the client's connection ended
    Output = 4,  // home -> relay: `bytes` go to the client as they are
    Close = 5,   // home -> relay: close once the output is sent
    Abort = 6,   // home -> relay: close at once (a refused join)
    Room = 7,    // home -> relay: `bytes` are the room's entry; it has a new home
};

struct Frame {
    FrameKind kind = FrameKind::Input;
    RelayAddress from;  // the relayed connection (relay -> home and home -> relay alike)
    int port = 0;       // the room's chat port
    std::string text;
    std::string address;
    std::string bytes;
};

void AppendFrame(const Frame& frame, std::string& out);
// The frames of one message; nothing when any of it is malformed (the whole message is
// dropped: a peer node that sends garbage is broken, and half a message means nothing).
std::optional<std::vector<Frame>> DecodeFrames(std::string_view message);

}  // namespace zorvid
