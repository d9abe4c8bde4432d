#pragma once

#include <functional>
#include <string>

#include "server/core/participant.h"
#include "server/core/relay_frames.h"

namespace zorvid {

// A member whose chat connection is held by a node of the cluster (this one included): what
// the room sends it travels as frames to that node, which writes them to the socket.
class RemoteParticipant final : public Participant {
public:
    using Sink = std::function<void(const RelayAddress& to, Frame frame)>;

    RemoteParticipant(RelayAddress at, std::string address, int port, Sink sink)
        : at_(std::move(at)), address_(std::move(address)), port_(port), sink_(std::move(sink)) {}

    void Send(std::string_view encodedRecord) override {
        if (!closed_) Emit(FrameKind::Output, encodedRecord);
    }
    void Close() override { End(FrameKind::Close); }
    // A refused join: the connection ends without an answer.
    void Abort() { End(FrameKind::Abort); }
    const std::string& PeerAddress() const override { return address_; }
    std::optional<RelayAddress> Link() const override { return at_; }
    const RelayAddress& At() const { return at_; }
    bool Closed() const { return closed_; }

private:
    void End(FrameKind kind) {
        if (closed_) return;
        closed_ = true;
        Emit(kind, {});
    }
    void Emit(FrameKind kind, std::string_view bytes) {
        Frame f;
        f.kind = kind;
        f.from = at_;
        f.port = port_;
        f.bytes.assign(bytes);
        sink_(at_, std::move(f));
    }

    RelayAddress at_;
    std::string address_;
    int port_;
    Sink sink_;
    bool closed_ = false;
};

}  // namespace zorvid
