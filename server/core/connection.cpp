#include "server/core/connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

#include "server/core/output_batch.h"
#include "server/core/proxy_header.h"
#include "server/core/tls_session.h"

namespace zorvid {
namespace {

// Written bytes at the front of the output buffer are dropped once they are this many.
constexpr std::size_t kCompactAfter = 256 * 1024;
// The first read of a record asks for this much, and an idle connection keeps no more.
constexpr std::size_t kReadStart = 2 * 1024;
// Reads double while they fill up, to this much.
constexpr std::size_t kReadMax = 64 * 1024;

}  // namespace

char* InputBuffer::Reserve(std::size_t n) {
    const std::size_t size = Size();
    if (capacity_ - end_ < n) {
        if (capacity_ - size >= n && capacity_ >= 2 * size) {
            std::memmove(data_.get(), data_.get() + begin_, size);  // the tail is short
        } else {
            const std::size_t capacity = std::max(2 * capacity_, size + n);
            auto grown = std::make_unique_for_overwrite<char[]>(capacity);
            if (size > 0) std::memcpy(grown.get(), data_.get() + begin_, size);
            data_ = std::move(grown);
            capacity_ = capacity;
        }
        begin_ = 0;
        end_ = size;
    }
    return data_.get() + end_;
}

void InputBuffer::Consume(std::size_t n) {
    begin_ += n;
    if (begin_ == end_) begin_ = end_ = 0;
}

void InputBuffer::ReleaseEmpty(std::size_t keep) {
    if (Size() != 0 || capacity_ <= keep) return;
    data_.reset();
    capacity_ = begin_ = end_ = 0;
}

Connection::Connection(asio::ip::tcp::socket socket, std::string address,
                       const ConnectionLimits& limits, ConnectionTracker& tracker, std::string kind)
    : socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      address_(std::move(address)),
      limits_(limits),
      tracker_(tracker),
      kind_(std::move(kind)),
      readSize_(kReadStart),
      decoder_(zorvi::DecodeLimits{limits.maxRecordBytes}),
      holdTimer_(socket_.get_executor()) {
    if (limits_.flood.enabled)
        buckets_ = std::make_unique<TokenBuckets>(limits_.flood, Clock::now());
}

Connection::~Connection() = default;

void Connection::Start() {
    asio::error_code ec;
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
    socket_.non_blocking(true, ec);  // reads and writes are made directly, never blocking
    SetKeepAlive();
    tracker_.Opened(*this);
    started_ = lastActivity_ = Clock::now();
    Reschedule();
    Read();
}

void Connection::SetKeepAlive() {
    // A peer that vanished without a word is found by the system's probes, not by silence:
    // a person may read a room for hours without sending anything.
    const KeepAliveSettings& k = limits_.keepAlive;
    if (k.idle.count() <= 0) return;
    asio::error_code ec;
    socket_.set_option(asio::socket_base::keep_alive(true), ec);
    const int fd = socket_.native_handle();
    const int idle = static_cast<int>(k.idle.count());
    const int interval = static_cast<int>(std::max<long long>(1, k.interval.count()));
    const int probes = std::max(1, k.probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

void Connection::Read() {
    // Waits for readiness without a buffer: an idle connection holds no read buffer of its
    // own beyond the small one it keeps.
    if (reading_ || holding_ || closed_) return;
    reading_ = true;
    socket_.async_wait(asio::socket_base::wait_read, [this, self = shared_from_this()](
                                                         asio::error_code ec) {
        reading_ = false;
        if (closed_) return;
        if (ec) {
            if (ec != asio::error::operation_aborted) {
                tracker_.Log(kind_ + " connection from " + Address() + " failed: " + ec.message());
            }
            Abort("");
            return;
        }
        OnReadable();
    });
}

void Connection::OnReadable() {
    if (closeAfterFlush_) {
        DiscardInput();
        return;
    }
    // Over TLS the wire bytes land here and only what they carry goes into the input.
    char wire[16 * 1024];
    asio::error_code ec;
    const std::size_t n =
        tls_ ? socket_.read_some(asio::buffer(wire), ec)
             : socket_.read_some(asio::buffer(input_.Reserve(readSize_), readSize_), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) {
        Read();
        return;
    }
    if (ec) {
        const bool checkEnded = proxyCheck_ && ec == asio::error::connection_reset;
        if (ec != asio::error::eof && ec != asio::error::operation_aborted && !checkEnded) {
            tracker_.Log(kind_ + " connection from " + Address() + " failed: " + ec.message());
        }
        Abort("");
        return;
    }
    if (tls_) {
        if (!Decrypt(std::string_view(wire, n))) return;
    } else {
        input_.Commit(n);
        if (awaitingProxyHeader_ && !TakeProxyHeader()) return;
        if (!transportChosen_) {
            // The rest of the header, or the first byte after it, is still to come.
            if (awaitingProxyHeader_ || input_.Size() == 0) {
                Read();
                return;
            }
            if (!ChooseTransport()) return;
        }
        // A sender that fills the reads gets larger ones; one that does not, smaller again.
        readSize_ = n == readSize_ ? std::min(2 * readSize_, kReadMax)
                                   : std::max(kReadStart, readSize_ / 2);
    }
    lastActivity_ = Clock::now();
    Process();
    Read();
}

bool Connection::TakeProxyHeader() {
    // The header is bounded, so what waits for it here is at most one read.
    const ProxyHeader header = ParseProxyHeader(input_.View());
    if (header.status == ProxyHeader::Status::Bad) {
        Abort("bad PROXY header: " + header.error);
        return false;
    }
    if (header.status == ProxyHeader::Status::NeedMore) return true;
    awaitingProxyHeader_ = false;
    input_.Consume(header.length);
    client_ = header.address;
    proxyCheck_ = header.local;
    return true;
}

bool Connection::ChooseTransport() {
    transportChosen_ = true;
    const std::string_view first = input_.View();
    if (limits_.tls && static_cast<unsigned char>(first.front()) == kTlsHandshakeByte) {
        tls_ = std::make_unique<TlsSession>(*limits_.tls);
        const std::string wire(first);
        input_.Consume(wire.size());
        return Decrypt(wire);
    }
    if (!limits_.plainAllowed) {
        Abort("plain text refused (TLS only)");
        return false;
    }
    return true;
}

bool Connection::Decrypt(std::string_view wire) {
    std::string plain;
    if (!tls_->Receive(wire, plain)) {
        Abort(tls_->Error());
        return false;
    }
    if (tls_->HasWire()) {  // the handshake's answers
        tls_->TakeWire(pending_);
        ScheduleFlush();
    }
    if (tls_->PeerClosed() && plain.empty()) {
        Abort("");
        return false;
    }
    if (!plain.empty()) {
        std::memcpy(input_.Reserve(plain.size()), plain.data(), plain.size());
        input_.Commit(plain.size());
    }
    return true;
}

void Connection::DiscardInput() {
    // Only waiting for the peer's end now; what it sends is discarded.
    char scratch[512];
    asio::error_code ec;
    socket_.read_some(asio::buffer(scratch), ec);
    if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
        Abort("");
        return;
    }
    Read();
}

void Connection::Process() {
    gateShut_ = false;
    const std::size_t used = Consume(input_.View());
    if (closed_ || used == std::string_view::npos) return;
    input_.Consume(used);
    if (closeAfterFlush_) return;  // what follows the end is discarded, not timed
    const auto now = Clock::now();
    if (input_.Size() == 0) {
        inRecord_ = false;
        input_.ReleaseEmpty(kReadStart);
    } else if (used > 0 || !inRecord_) {
        inRecord_ = true;  // a new record has begun: its own deadline starts
        recordStart_ = now;
    }
    if (gateShut_) {
        // Over the flood limit: the rest waits, unread, until the buckets refill.
        if (overSince_ == Clock::time_point::max()) overSince_ = now;
        holding_ = true;
        holdTimer_.expires_after(buckets_->Wait());
        holdTimer_.async_wait([this, self = shared_from_this()](asio::error_code ec) {
            if (!ec && !closed_) EndHold();
        });
    } else {
        overSince_ = Clock::time_point::max();
        if (input_.Size() > limits_.maxRecordBytes) {
            Abort("record over the size limit");  // the codec would say the same, later
            return;
        }
    }
    Reschedule();
}

void Connection::Resume() {
    if (!closed_ && !holding_) Process();
}

void Connection::EndHold() {
    holding_ = false;
    if (inRecord_) recordStart_ = Clock::now();  // the held time was ours, not the peer's
    Process();
    Read();
}

bool Connection::MayTakeRecord() {
    if (!buckets_ || buckets_->MayTake(Clock::now())) return true;
    gateShut_ = true;
    return false;
}

void Connection::TookRecord(std::size_t bytes) {
    if (buckets_) buckets_->Take(bytes);
}

void Connection::Reschedule() {
    if (closed_ || draining_) return;
    const char* why = "";
    const auto due = NextDue(why);
    if (due < timerDue_) ArmTimer(due);
}

Connection::Clock::time_point Connection::NextDue(const char*& why) const {
    auto due = Clock::time_point::max();
    const auto consider = [&](Clock::time_point at, const char* reason) {
        if (at < due) {
            due = at;
            why = reason;
        }
    };
    if (!firstDone_) {
        consider(started_ + limits_.firstDeadline,
                 awaitingProxyHeader_ ? "no PROXY header in time" : "no handshake in time");
    } else if (limits_.idleLimit.count() > 0) {
        consider(lastActivity_ + limits_.idleLimit, "idle past the limit");
    }
    if (inRecord_ && !holding_ && limits_.recordDeadline.count() > 0)
        consider(recordStart_ + limits_.recordDeadline, "record not complete in time");
    if (overSince_ != Clock::time_point::max())
        consider(overSince_ + limits_.flood.cutAfter, "over the flood limit for too long");
    return due;
}

void Connection::ArmTimer(Clock::time_point due) {
    timerDue_ = due;
    timer_.expires_at(due);
    timer_.async_wait([this, self = shared_from_this()](asio::error_code ec) {
        if (!ec && !closed_) OnTimer();
    });
}

void Connection::OnTimer() {
    timerDue_ = Clock::time_point::max();
    if (draining_) {
        Abort("");
        return;
    }
    const char* why = "";
    const auto due = NextDue(why);
    if (due == Clock::time_point::max()) return;
    if (due <= Clock::now()) {
        Abort(why);
        return;
    }
    ArmTimer(due);
}

void Connection::Queue(std::string_view bytes) {
    if (closed_ || closeAfterFlush_) return;  // nothing may follow the close
    if (pending_.size() - pendingSent_ + tlsPlain_.size() + bytes.size() > limits_.maxQueuedBytes) {
        // A consumer that cannot keep up is dropped; the close runs outside the caller,
        // which may be walking a room's member list.
        closeAfterFlush_ = true;
        pending_.clear();
        tlsPlain_.clear();
        pendingSent_ = 0;
        asio::post(socket_.get_executor(), [self = shared_from_this()] {
            self->Abort("output queue over its limit (peer not reading)");
        });
        return;
    }
    // Over TLS the turn's output is encrypted at the flush, as few records as it fills.
    (tls_ ? tlsPlain_ : pending_).append(bytes);
    ScheduleFlush();
}

bool Connection::Seal() {
    if (!tls_ || tlsPlain_.empty()) return true;
    if (!tls_->Send(tlsPlain_)) {
        Abort(tls_->Error());
        return false;
    }
    tlsPlain_.clear();
    if (tlsPlain_.capacity() > kCompactAfter) tlsPlain_.shrink_to_fit();
    tls_->TakeWire(pending_);
    return true;
}

void Connection::ScheduleFlush() {
    if (awaitingWritable_ || flushScheduled_) return;
    flushScheduled_ = true;
    tracker_.Output().Add(shared_from_this());
}

void Connection::Flush() {
    flushScheduled_ = false;
    if (closed_ || awaitingWritable_ || !Seal()) return;
    if (pendingSent_ < pending_.size()) {
        asio::error_code ec;
        const std::size_t n = socket_.write_some(
            asio::buffer(pending_.data() + pendingSent_, pending_.size() - pendingSent_), ec);
        if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
            Abort("");
            return;
        }
        pendingSent_ += n;
        if (pendingSent_ < pending_.size()) {
            if (pendingSent_ >= kCompactAfter && pendingSent_ * 2 >= pending_.size()) {
                pending_.erase(0, pendingSent_);  // a peer that never quite catches up
                pendingSent_ = 0;
            }
            // The socket's buffer is full: the rest goes when the peer has read some.
            awaitingWritable_ = true;
            socket_.async_wait(asio::socket_base::wait_write,
                               [this, self = shared_from_this()](asio::error_code wec) {
                                   awaitingWritable_ = false;
                                   if (closed_) return;
                                   if (wec) {
                                       Abort("");
                                       return;
                                   }
                                   Flush();
                               });
            return;
        }
        pending_.clear();  // keeps its capacity for the next turn, unless it grew large
        if (pending_.capacity() > kCompactAfter) pending_.shrink_to_fit();
        pendingSent_ = 0;
    }
    if (closeAfterFlush_ && !draining_) Shutdown();
}

void Connection::CloseAfterFlush() {
    if (closed_ || closeAfterFlush_) return;
    closeAfterFlush_ = true;
    if (tls_) {
        if (!Seal()) return;
        tls_->Close();  // the close notice goes out after what is queued
        tls_->TakeWire(pending_);
    }
    ScheduleFlush();
}

void Connection::Shutdown() {
    // Closing with unread input would reset the stream and could destroy what the peer has
    // not read yet; so end the sending side and wait briefly for the peer's own end.
    asio::error_code ec;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ec);
    if (ec) {
        Abort("");
        return;
    }
    draining_ = true;
    ArmTimer(Clock::now() + std::chrono::milliseconds(2000));
}

void Connection::Abort(std::string_view why) {
    if (closed_) return;
    closed_ = true;
    if (!why.empty())
        tracker_.Log(kind_ + " connection from " + Address() + " closed: " + std::string(why));
    asio::error_code ec;
    timer_.cancel();
    holdTimer_.cancel();
    socket_.close(ec);
    pending_.clear();
    tlsPlain_.clear();
    pendingSent_ = 0;
    OnClosed();
    tracker_.Closed(*this);
}

}  // namespace zorvid
