#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include <asio.hpp>

namespace zorvid {

class ConnectionTracker;

// Limits every connection lives under.
struct ConnectionLimits {
    std::size_t maxRecordBytes = 64 * 1024;
    std::size_t maxQueuedBytes = 4 * 1024 * 1024;
    std::chrono::milliseconds firstDeadline{10'000};  // until the first complete record
    std::chrono::milliseconds idleLimit{10'000};      // between records afterwards
};

// One accepted TCP connection: reads and cuts records, queues and batches writes, and
// enforces the deadlines and the output bound. All of it runs on the event loop's thread.
//
// Writes are gathered: everything queued during one turn of the loop leaves in a single
// write, and only one write is in flight at a time.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(asio::ip::tcp::socket socket, std::string address, const ConnectionLimits& limits,
               ConnectionTracker& tracker, std::string kind);
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Start();
    void Queue(std::string_view bytes);
    // Sends what is queued, then shuts the connection down.
    void CloseAfterFlush();
    // Closes at once, dropping what is queued; `why` is logged when not empty.
    void Abort(std::string_view why);

    const std::string& Address() const { return address_; }
    bool Closed() const { return closed_; }
    bool Closing() const { return closed_ || closeAfterFlush_; }

protected:
    // Consumes complete input from the front of `input`; returns the bytes used. Returns
    // npos (after calling Abort) when the input is malformed.
    virtual std::size_t Consume(std::string_view input) = 0;
    virtual void OnClosed() {}
    // Bytes the first expected item claims; 0 when nothing is started. For logs.
    const ConnectionLimits& Limits() const { return limits_; }
    void MarkActive() { firstDone_ = true; }
    ConnectionTracker& Tracker() { return tracker_; }

private:
    void Read();
    void ArmTimer(std::chrono::milliseconds after);
    void OnTimer();
    void Flush();
    void Shutdown();

    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    std::string address_;
    ConnectionLimits limits_;
    ConnectionTracker& tracker_;
    std::string kind_;

    std::array<char, 16 * 1024> readBuffer_{};
    std::string input_;
    std::string pending_;
    std::string writing_;
    bool writeInFlight_ = false;
    bool flushPosted_ = false;
    bool closeAfterFlush_ = false;
    bool closed_ = false;
    bool draining_ = false;
    bool firstDone_ = false;
    std::chrono::steady_clock::time_point lastActivity_;
};

// Counts connections per address and knows every open one, for the limits and shutdown.
class ConnectionTracker {
public:
    virtual ~ConnectionTracker() = default;
    virtual void Opened(Connection& c) = 0;
    virtual void Closed(Connection& c) = 0;
    virtual void Log(std::string_view line) = 0;
};

}  // namespace zorvid
