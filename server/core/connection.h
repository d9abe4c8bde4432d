#pragma once

#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/codec.h"
#include "server/core/peer_limits.h"

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
    std::chrono::milliseconds idleLimit{10'000};      // between records afterwards; 0: none
    // Hostile peers and liveness.
    std::chrono::milliseconds recordDeadline{10'000};  // a begun record must be complete
    FloodLimits flood{.enabled = false};
    KeepAliveSettings keepAlive;

    // How the bytes travel: with a context, a peer whose first byte opens a TLS handshake
    // is served over TLS; a plain peer is served only while plain text is allowed.
    std::shared_ptr<const TlsContext> tls;
    bool plainAllowed = true;
};

// Received bytes not yet consumed: small while idle, grown to hold the record being read and
// released when it is done.
class InputBuffer {
public:
    std::string_view View() const { return {data_.get() + begin_, end_ - begin_}; }
    std::size_t Size() const { return end_ - begin_; }
    std::size_t Capacity() const { return capacity_; }
    // Room for at least `n` more bytes after the data; returns where they go.
    char* Reserve(std::size_t n);
    void Commit(std::size_t n) { end_ += n; }
    void Consume(std::size_t n);
    // Frees the storage when it holds no data and is larger than `keep`.
    void ReleaseEmpty(std::size_t keep);

private:
    std::unique_ptr<char[]> data_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
};

// One accepted TCP connection: reads and cuts records, queues and batches writes, and
// enforces the deadlines and the output bound. All of it runs on the event loop's thread.
//
// Writes are gathered: everything queued during one turn of the loop leaves in a single
// write, made at once on the non-blocking socket; only when the socket's buffer is full does
// the rest wait for the socket to become writable.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    using Clock = std::chrono::steady_clock;

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

    // From a trusted proxy ("proxy-from"): the connection must start with a PROXY protocol
    // header, within the handshake time-out. Called before Start.
    void ExpectProxyHeader() { awaitingProxyHeader_ = true; }
    // The client's address: the one in the proxy's header, else the peer's.
    const std::string& Address() const { return client_.empty() ? address_ : client_; }
    // The peer's address as accepted, which the admission limits counted.
    const std::string& AcceptedAddress() const { return address_; }
    // The loop this connection runs on.
    asio::any_io_executor Executor() { return socket_.get_executor(); }
    bool Closed() const { return closed_; }
    bool Closing() const { return closed_ || closeAfterFlush_; }
    // The input's cost, for the hostile-client tests: bytes the record decoder has examined
    // and the input buffer's storage now.
    std::uint64_t DecoderBytesExamined() const { return decoder_.Examined(); }
    std::size_t InputCapacity() const { return input_.Capacity(); }

    // Flood control: whether the next record may be taken now. When not, the input waits
    // unread until the buckets have refilled. Always true without flood limits.
    bool MayTakeRecord();
    void TookRecord(std::size_t bytes);

protected:
    // Consumes complete input from the front of `input`; returns the bytes used. Returns
    // npos (after calling Abort) when the input is malformed.
    virtual std::size_t Consume(std::string_view input) = 0;
    virtual void OnClosed() {}
    // The limits this connection lives under.
    const ConnectionLimits& Limits() const { return limits_; }
    void MarkActive() { firstDone_ = true; }
    // Takes up the input again after Consume left it waiting for something of its own.
    void Resume();
    ConnectionTracker& Tracker() { return tracker_; }
    // Decodes the records at the front of the input passed to Consume; it keeps its place in
    // an unfinished record from one call to the next.
    zorvi::ValueDecoder& Decoder() { return decoder_; }

private:
    friend class OutputBatch;

    void Read();
    void OnReadable();
    // Takes the proxy's header off the front of the input once it is whole; false when the
    // connection ended.
    bool TakeProxyHeader();
    // Chooses plain or TLS on the first bytes; false when the connection ended.
    bool ChooseTransport();
    // Takes TLS bytes from the wire into the input; false when the connection ended.
    bool Decrypt(std::string_view wire);
    // Encrypts the output queued over TLS into the wire bytes; false when that failed.
    bool Seal();
    void DiscardInput();
    void Process();
    void EndHold();
    void SetKeepAlive();
    // Arms the timer for the nearest deadline, unless it is already due sooner.
    void Reschedule();
    // The nearest deadline and what is wrong when it passes; max() when none.
    Clock::time_point NextDue(const char*& why) const;
    void ArmTimer(Clock::time_point due);
    void OnTimer();
    void ScheduleFlush();
    void Flush();
    void Shutdown();

    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    std::string address_;
    std::string client_;  // from the proxy's header; empty: the peer is the client
    bool awaitingProxyHeader_ = false;
    bool proxyCheck_ = false;  // the proxy's health check, which ends with a reset
    ConnectionLimits limits_;
    ConnectionTracker& tracker_;
    std::string kind_;

    // Reads start small and double while they fill the buffer, so a busy sender's records
    // are still cut and handled many to a read.
    InputBuffer input_;
    std::size_t readSize_;
    std::unique_ptr<TlsSession> tls_;
    bool transportChosen_ = false;
    std::string tlsPlain_;  // over TLS: this turn's output, encrypted at the flush
    zorvi::ValueDecoder decoder_;
    bool reading_ = false;
    bool inRecord_ = false;  // the input holds the start of an unfinished record
    Clock::time_point recordStart_;
    Clock::time_point started_;
    Clock::time_point timerDue_ = Clock::time_point::max();
    // Flood control.
    std::unique_ptr<TokenBuckets> buckets_;
    asio::steady_timer holdTimer_;
    bool holding_ = false;   // input waits unread until holdTimer_ fires
    bool gateShut_ = false;  // the last MayTakeRecord said no
    Clock::time_point overSince_ = Clock::time_point::max();
    std::string pending_;  // queued output; bytes before pendingSent_ have been written
    std::size_t pendingSent_ = 0;
    bool awaitingWritable_ = false;
    bool flushScheduled_ = false;
    bool closeAfterFlush_ = false;
    bool closed_ = false;
    bool draining_ = false;
    bool firstDone_ = false;
    Clock::time_point lastActivity_;
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
