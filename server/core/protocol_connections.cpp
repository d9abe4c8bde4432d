#include "server/core/protocol_connections.h"

#include <chrono>

#include "net/codec.h"
#include "net/protocol.h"
#include "server/core/address_rate_limit.h"
#include "server/core/chat_host.h"
#include "server/core/zorvi_server.h"

namespace zorvid {
namespace {

// Cuts complete records from `input`, handing each to `handle` until it returns false.
// Returns the bytes used, or npos after aborting `c` on malformed input. The connection's
// decoder keeps its place in an unfinished record, and its flood control may hold the rest.
template <typename Handle>
std::size_t ConsumeRecords(Connection& c, zorvi::ValueDecoder& decoder, std::string_view input,
                           Handle&& handle) {
    std::size_t used = 0;
    while (used < input.size() && !c.Closing() && c.MayTakeRecord()) {
        const auto r = decoder.NextMsg(input.substr(used));
        if (r.status == zorvi::DecodeStatus::NeedMore) break;
        if (r.status == zorvi::DecodeStatus::Malformed) {
            c.Abort(std::string("malformed record: ") + r.error);
            return std::string_view::npos;
        }
        used += r.consumed;
        c.TookRecord(r.consumed);
        if (!handle(decoder.Msg())) break;
    }
    return used;
}

// Counts one request on a login or service connection. Past the limit the request is not
// handled: the connection ends after the answers already queued, so a peer cannot keep one
// connection busy forever, nor dodge the connection rate limit by never reconnecting.
bool WithinRequestLimit(Connection& c, ConnectionTracker& tracker, int& requests, int limit,
                        std::string_view kind) {
    if (limit <= 0 || ++requests <= limit) return true;
    tracker.Log(std::string(kind) + " connection from " + c.Address() + " closed: over " +
                std::to_string(limit) + " requests");
    c.CloseAfterFlush();
    return false;
}

}  // namespace

LoginConnection::LoginConnection(asio::ip::tcp::socket socket, std::string address,
                                 const ConnectionLimits& limits, ServerLoop& loop,
                                 ZorviServer& server)
    : Connection(std::move(socket), std::move(address), limits, loop, "login"), server_(server) {}

std::size_t LoginConnection::Consume(std::string_view input) {
    return ConsumeRecords(*this, Decoder(), input, [this](const CMsg& msg) {
        MarkActive();
        if (msg.code2 == code2::kClosing) {
            if (checking_) {
                closeWhenAnswered_ = true;
            } else {
                CloseAfterFlush();
            }
            return false;
        }
        if (!WithinRequestLimit(*this, Tracker(), requests_,
                                server_.Config().maxRequestsPerConnection, "login"))
            return false;
        if (!msg.Is(code1::kUserAction, code2::kLogin) || checking_)
            return true;  // one login per connection
        checking_ = true;
        const std::string name = msg.text;
        if (auto why = server_.Logins().Refusal(name, AddressBlock(Address()), server_.Now());
            !why.empty()) {
            Answer(false, name, why);  // unchecked: backing off costs no hashing
            return true;
        }
        const std::string password = msg.list.empty() ? std::string() : msg.list.front();
        auto self = std::static_pointer_cast<LoginConnection>(shared_from_this());
        const bool open = server_.Config().openRegistration;
        server_.PostToWorker([self, name, password, open] {
            LoginOutcome outcome = LoginOutcome::Refused;
            try {
                outcome = self->server_.Accounts().Login(name, password, open);
            } catch (const std::exception& e) {
                self->server_.Log(std::string("login check failed: ") + e.what());
            }
            // In a cluster the login must be known on every node before it is answered:
            // the person's next connection may reach any of them.
            if (ClusterLink* cluster = self->server_.Cluster();
                cluster && outcome != LoginOutcome::Refused &&
                !cluster->ShareLogin(name, self->Address())) {
                self->server_.Log("login of " + LogQuote(name) +
                                  " refused: the other nodes cannot be told");
                outcome = LoginOutcome::Refused;
            }
            asio::post(self->Executor(), [self, outcome, name] {
                auto& logins = self->server_.Logins();
                if (outcome == LoginOutcome::Refused) {
                    logins.Failed(name, AddressBlock(self->Address()), self->server_.Now());
                } else {
                    logins.Succeeded(name);
                }
                self->Answer(outcome != LoginOutcome::Refused, name);
                if (outcome == LoginOutcome::Created)
                    self->server_.Log("account " + LogQuote(name) + " created", {{"NAME", name}});
            });
        });
        return true;
    });
}

void LoginConnection::Answer(bool accepted, const std::string& name, const std::string& why) {
    checking_ = false;
    if (Closed()) return;
    if (accepted) server_.NoteLogin(name, Address());
    server_.Log("login of " + LogQuote(name) + " from " + Address() +
                    (accepted ? " accepted" : " refused") + (why.empty() ? "" : ": " + why),
                {{"NAME", name}, {"ADDRESS", Address()}});
    Queue(zorvi::EncodeMsg(
        CMsg(code1::kReply, accepted ? code2::kLoginAccepted : code2::kLoginRefused)));
    if (closeWhenAnswered_) CloseAfterFlush();
}

ServiceConnection::ServiceConnection(asio::ip::tcp::socket socket, std::string address,
                                     const ConnectionLimits& limits, ServerLoop& loop,
                                     ZorviServer& server)
    : Connection(std::move(socket), std::move(address), limits, loop, "service"),
      loop_(loop),
      server_(server),
      maxRequests_(server.Config().maxRequestsPerConnection) {}

std::size_t ServiceConnection::Consume(std::string_view input) {
    if (awaiting_) return 0;  // the rest waits for the reply before it
    return ConsumeRecords(*this, Decoder(), input, [this](const CMsg& msg) {
        MarkActive();
        if (msg.code2 == code2::kClosing) {
            CloseAfterFlush();
            return false;
        }
        if (!WithinRequestLimit(*this, Tracker(), requests_, maxRequests_, "service")) return false;
        awaiting_ = true;
        inPlace_ = true;
        auto self = std::static_pointer_cast<ServiceConnection>(shared_from_this());
        server_.Serve(loop_, msg, Address(), [self](std::optional<CMsg> reply) {
            self->awaiting_ = false;
            if (reply && !self->Closing()) self->Queue(zorvi::EncodeMsg(*reply));
            // Answered in place, the records after it are taken by the loop below.
            if (!self->inPlace_) self->Resume();
        });
        inPlace_ = false;
        return !awaiting_;  // otherwise the next record waits for this answer
    });
}

ChatConnection::ChatConnection(asio::ip::tcp::socket socket, std::string address,
                               const ConnectionLimits& limits, ServerLoop& loop, int port)
    : Connection(std::move(socket), std::move(address), limits, loop, "chat"),
      loop_(loop),
      host_(loop.Host()),
      port_(port) {}

namespace {
// How long a relayed join waits for its room to become known on this node.
constexpr std::chrono::milliseconds kJoinRetryPause(100);
constexpr int kJoinTries = 30;
}  // namespace

std::size_t ChatConnection::Consume(std::string_view input) {
    std::size_t used = 0;
    if (!joined_) {
        const auto r = Decoder().NextBareString(input);
        if (r.status == zorvi::DecodeStatus::NeedMore) return 0;
        if (r.status == zorvi::DecodeStatus::Malformed) {
            Abort(std::string("malformed join: ") + r.error);
            return std::string_view::npos;
        }
        MarkActive();
        switch (loop_.Clustered() ? JoinRelayed() : JoinHere()) {
            case JoinStep::Joined:
                used = r.consumed;
                joined_ = true;
                break;
            case JoinStep::Answered:
                CloseAfterFlush();
                return r.consumed;
            case JoinStep::Later:
                return 0;  // not consumed: the join string is read again
            case JoinStep::Refused:
                return std::string_view::npos;
        }
    }
    // In a cluster the records go to the room's node as they came, in one frame.
    std::string relayed;
    const std::size_t more =
        ConsumeRecords(*this, Decoder(), input.substr(used), [this, &relayed](const CMsg& msg) {
            MarkActive();
            if (loop_.Clustered()) {
                zorvi::AppendMsg(msg, relayed);
            } else {
                host_.HandleChat(*this, msg);
            }
            return true;
        });
    if (!relayed.empty() && !Closing()) loop_.RelayInput(*this, relayed);
    return more == std::string_view::npos ? more : used + more;
}

ChatConnection::JoinStep ChatConnection::JoinHere() {
    switch (host_.Join(port_, Decoder().BareString(), *this)) {
        case JoinAnswer::Ok:
            return JoinStep::Joined;
        case JoinAnswer::Full:
        case JoinAnswer::NameExists:
            return JoinStep::Answered;
        case JoinAnswer::NotLoggedIn:
            Abort("join refused: not logged in");
            break;
        case JoinAnswer::NoRoom:
            Abort("join refused: the room is gone");
            break;
    }
    return JoinStep::Refused;
}

ChatConnection::JoinStep ChatConnection::JoinRelayed() {
    // The room's node answers through the relay; until then this node only holds the socket.
    if (loop_.RelayJoin(*this, port_, Decoder().BareString())) return JoinStep::Joined;
    if (++joinTries_ >= kJoinTries) {
        Abort("join refused: no room on that port");
        return JoinStep::Refused;
    }
    if (!joinRetry_) joinRetry_ = std::make_unique<asio::steady_timer>(Executor());
    joinRetry_->expires_after(kJoinRetryPause);
    joinRetry_->async_wait([self = shared_from_this(), this](asio::error_code ec) {
        if (!ec) Resume();
    });
    return JoinStep::Later;
}

void ChatConnection::OnClosed() {
    if (joinRetry_) joinRetry_->cancel();
    if (!joined_) return;
    if (loop_.Clustered()) {
        loop_.RelayGone(*this);
    } else {
        host_.Drop(*this);
    }
}

}  // namespace zorvid
