#pragma once

#include <array>
#include <asio.hpp>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

namespace zorvid {

class ConnectionTracker;
class OutputBatch;
class TlsContext;
class TlsSession;

// Limits every connection lives under.
struct ConnectionLimits {
    std::size_t maxRecordBytes = 64 * 1024;
    std::size_t maxQueuedBytes = 4 * 1024 * 1024;
    std::chrono::milliseconds firstDeadline{10'000};  // until the first complete record
    std::chrono::milliseconds idleLimit{10'000};      // between records afterwards

    // How the bytes travel: with a context, a peer whose first byte opens a TLS handshake
    // is served over TLS; a plain peer is served only while plain text is allowed.
    std::shared_ptr<const TlsContext> tls;
    bool plainAllowed = true;
};

// One accepted TCP connection: reads and cuts records, queues and batches writes, and
// enforces the deadlines and the output bound. All of it runs on the event loop's thread.
//
// Writes are gathered: everything queued during one turn of the loop leaves in a single
// write, made at once on the non-blocking socket; only when the socket's buffer is full does
// the rest wait for the socket to become writable.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(asio::ip::tcp::socket socket, std::string address, const ConnectionLimits& limits,
               ConnectionTracker& tracker, std::string kind);
    virtual ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Start();
    // Ignored once the connection is closing: nothing may follow the close.
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
    // The limits this connection lives under.
    const ConnectionLimits& Limits() const { return limits_; }
    void MarkActive() { firstDone_ = true; }
    ConnectionTracker& Tracker() { return tracker_; }

private:
    friend class OutputBatch;

    void Read();
    // Chooses plain or TLS on the first bytes and decrypts; false when the connection ended.
    bool Unwrap(std::string_view& bytes, std::string& plain);
    void Process(std::string_view input);
    void ArmTimer(std::chrono::milliseconds after);
    void OnTimer();
    void ScheduleFlush();
    void Flush();
    void Shutdown();

    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    std::string address_;
    ConnectionLimits limits_;
    ConnectionTracker& tracker_;
    std::string kind_;

    // Large reads: a busy sender's records are cut and handled many to a read.
    std::array<char, 64 * 1024> readBuffer_{};
    std::unique_ptr<TlsSession> tls_;
    bool transportChosen_ = false;
    std::string input_;    // an incomplete record kept from earlier reads
    std::string pending_;  // queued output; bytes before pendingSent_ have been written
    std::size_t pendingSent_ = 0;
    bool awaitingWritable_ = false;
    bool flushScheduled_ = false;
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
    // Where connections queue themselves to write at the end of the loop's turn.
    virtual OutputBatch& Output() = 0;
};

}  // namespace zorvid
