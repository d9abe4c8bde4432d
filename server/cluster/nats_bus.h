#pragma once

#include <asio/io_context.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zorvid::cluster {

// A message as a subscription's handler gets it. `reply` is where a request wants its
// answer (NatsBus::Respond); empty for a plain publication.
struct BusMessage {
    std::string subject;
    std::string reply;
    std::string data;
};

// How NatsBus talks to NATS (NatsBus::Settings).
struct NatsBusSettings {
    using Ms = std::chrono::milliseconds;
    Ms connectTimeout{2000};  // the first connection and each reconnection attempt
    Ms pingInterval{1000};    // a server silent for maxPingsOut pings is taken as gone
    int maxPingsOut = 2;
    Ms reconnectWait{250};                       // between attempts; attempts go on for ever
    int reconnectBufferBytes = 8 * 1024 * 1024;  // publications held while reconnecting
    Ms writeDeadline{1000};  // a stalled server holds a publisher no longer than this
    Ms drainTimeout{2000};   // on destruction, for queued messages in and out
    // A subscription's queue, unless Subscribe is given other limits.
    int pendingMessages = 65536;
    int pendingBytes = 64 * 1024 * 1024;
};

// The process's one connection to NATS, shared by every event loop and worker thread.
//
// Nothing here blocks for long and nothing grows without bound while NATS is away:
// publications wait in a bounded reconnect buffer and are refused once it is full; each
// subscription holds a bounded queue and counts what it drops; requests fail at their
// time-out, at once while disconnected. Handlers and connection callbacks never run on
// libnats's threads: they are posted to the io_context chosen for them.
//
// Subjects are dot-separated tokens of printable ASCII without spaces; anything else is
// refused. Put names from people (rooms, nicknames) into a subject only encoded.
class NatsBus {
public:
    using Ms = std::chrono::milliseconds;

    using Settings = NatsBusSettings;

    struct Limits {
        int messages;
        int bytes;
    };

    using Handler = std::function<void(const BusMessage&)>;

    // Interest in a subject; movable, unsubscribes when destroyed. Destroy it on its
    // io_context's thread (or while that loop does not run), before the io_context: then
    // its handler is never called afterwards.
    class Subscription {
    public:
        struct State;
        Subscription() = default;
        Subscription(Subscription&&) noexcept;
        Subscription& operator=(Subscription&&) noexcept;
        ~Subscription();

        explicit operator bool() const { return state_ != nullptr; }
        void Unsubscribe();
        // Messages dropped because the handler fell behind (the queue was full).
        std::uint64_t Dropped() const;
        // Messages waiting for the handler (in libnats's queue and in ours).
        std::size_t Pending() const;

    private:
        friend class NatsBus;
        explicit Subscription(std::shared_ptr<State> state) : state_(std::move(state)) {}
        std::shared_ptr<State> state_;
    };

    // A listener to the connection's state; same rules as Subscription.
    class ConnectionWatch {
    public:
        struct State;
        ConnectionWatch() = default;
        ConnectionWatch(ConnectionWatch&&) noexcept;
        ConnectionWatch& operator=(ConnectionWatch&&) noexcept;
        ~ConnectionWatch();

    private:
        friend class NatsBus;
        explicit ConnectionWatch(std::shared_ptr<State> state) : state_(std::move(state)) {}
        std::shared_ptr<State> state_;
    };

    // Connects to `url` (nats://HOST:PORT, or several separated by commas). `nodeName` is
    // letters, digits, '_' and '-' (so a node id is one subject token); throws
    // std::invalid_argument otherwise, and std::runtime_error with libnats's reason when no
    // connection is made within the connect time-out.
    static std::unique_ptr<NatsBus> Connect(const std::string& url, const std::string& nodeName,
                                            Settings settings = {});

    NatsBus(const NatsBus&) = delete;
    NatsBus& operator=(const NatsBus&) = delete;
    // Drains (at most drainTimeout) and closes; never hangs.
    ~NatsBus();

    const std::string& NodeName() const { return nodeName_; }
    // The node name and a random incarnation: a restarted process is a new node.
    const std::string& NodeId() const { return nodeId_; }

    // Queues `data` for `subject`; false when it cannot be queued (bad subject, message too
    // large, disconnected with the reconnect buffer full, or closed). Any thread, event
    // loops included: it returns at once, or within writeDeadline when the server has
    // stopped reading (the connection is then given up and reconnected).
    bool Publish(std::string_view subject, std::string_view data);
    // A round trip: true when the server has routed everything published before. Blocks up
    // to `timeout`.
    bool Flush(Ms timeout);

    // `handler` runs on `io`, one message at a time, in the order of arrival. Throws
    // std::invalid_argument for a bad subject, std::runtime_error when closed.
    Subscription Subscribe(std::string_view subject, asio::io_context& io, Handler handler);
    Subscription Subscribe(std::string_view subject, asio::io_context& io, Handler handler,
                           Limits limits);

    // Blocks for the first answer, at most `timeout`; nothing when nobody answered in time,
    // nobody listens, or the bus is disconnected. For worker threads, never an event loop.
    std::optional<std::string> Request(std::string_view subject, std::string_view data, Ms timeout);
    // Answers a request whose message carried `reply`.
    bool Respond(std::string_view reply, std::string_view data) { return Publish(reply, data); }

    bool Connected() const;
    // How many times the connection came back after a loss.
    std::uint64_t Reconnects() const;
    // `onChange(false)` when the connection is lost, `onChange(true)` when it is back;
    // posted to `io`.
    ConnectionWatch WatchConnection(asio::io_context& io, std::function<void(bool)> onChange);

    struct Core;

private:
    NatsBus(std::shared_ptr<Core> core, std::string nodeName, std::string nodeId,
            Settings settings);

    std::shared_ptr<Core> core_;
    std::string nodeName_;
    std::string nodeId_;
    Settings settings_;
};

// True for a subject NatsBus accepts (see above); the wildcards "*" and ">" only where
// `wildcards` (subscriptions).
bool ValidSubject(std::string_view subject, bool wildcards = false);

}  // namespace zorvid::cluster
