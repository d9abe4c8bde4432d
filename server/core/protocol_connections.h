#pragma once

#include <memory>
#include <string>

#include "server/core/connection.h"
#include "server/core/participant.h"

namespace zorvid {

class ZorviServer;
class ServerLoop;
class ChatHost;

// The login port: {15, 27} answered {13, 41} or {13, 40}, then the closing notice.
class LoginConnection final : public Connection {
public:
    LoginConnection(asio::ip::tcp::socket socket, std::string address,
                    const ConnectionLimits& limits, ServerLoop& loop, ZorviServer& server);

private:
    std::size_t Consume(std::string_view input) override;
    // `why` says in the log why a refusal came without a check.
    void Answer(bool accepted, const std::string& name, const std::string& why = {});

    ZorviServer& server_;
    bool checking_ = false;
    bool closeWhenAnswered_ = false;
    int requests_ = 0;
};

// The service port: one-shot requests, answered in order, until the closing notice. A
// request about a room on another loop is answered there; the next waits for its reply.
class ServiceConnection final : public Connection {
public:
    ServiceConnection(asio::ip::tcp::socket socket, std::string address,
                      const ConnectionLimits& limits, ServerLoop& loop, ZorviServer& server);

private:
    std::size_t Consume(std::string_view input) override;

    ServerLoop& loop_;
    ZorviServer& server_;
    int maxRequests_;
    int requests_ = 0;
    bool awaiting_ = false;  // a request is being answered on another loop
    bool inPlace_ = false;   // Serve is answering the current request right now
};

// A room's chat port: the bare-string join, then the conversation.
class ChatConnection final : public Connection, public Participant {
public:
    ChatConnection(asio::ip::tcp::socket socket, std::string address,
                   const ConnectionLimits& limits, ServerLoop& loop, int port);

    void Send(std::string_view encodedRecord) override { Queue(encodedRecord); }
    void Close() override { CloseAfterFlush(); }
    const std::string& PeerAddress() const override { return Address(); }

    int Port() const { return port_; }
    // In a cluster: this connection's number on its loop, once its join went to the room.
    std::uint64_t RelayNumber() const { return relayNumber_; }
    void SetRelayNumber(std::uint64_t n) { relayNumber_ = n; }

private:
    // What came of the join string.
    enum class JoinStep { Joined, Answered, Later, Refused };

    std::size_t Consume(std::string_view input) override;
    JoinStep JoinHere();
    // In a cluster: the join goes to the room's node, once the room is known here.
    JoinStep JoinRelayed();
    void OnClosed() override;

    ServerLoop& loop_;
    ChatHost& host_;
    int port_;
    bool joined_ = false;
    std::uint64_t relayNumber_ = 0;
    // A join may come before the room's news reaches this node: it is tried again a few
    // times before it is refused.
    std::unique_ptr<asio::steady_timer> joinRetry_;
    int joinTries_ = 0;
};

}  // namespace zorvid
