#include "server/core/connection.h"

#include "server/core/output_batch.h"
#include "server/core/tls_session.h"

namespace zorvid {
namespace {

// Written bytes at the front of the output buffer are dropped once they are this many.
constexpr std::size_t kCompactAfter = 256 * 1024;

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket, std::string address,
                       const ConnectionLimits& limits, ConnectionTracker& tracker, std::string kind)
    : socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      address_(std::move(address)),
      limits_(limits),
      tracker_(tracker),
      kind_(std::move(kind)) {}

Connection::~Connection() = default;

void Connection::Start() {
    asio::error_code ec;
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
    socket_.non_blocking(true, ec);  // output is written directly, never blocking the loop
    tracker_.Opened(*this);
    lastActivity_ = std::chrono::steady_clock::now();
    ArmTimer(limits_.firstDeadline);
    Read();
}

void Connection::Read() {
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(readBuffer_), [this, self](asio::error_code ec,
                                                                    std::size_t n) {
        if (closed_) return;
        if (ec) {
            if (ec != asio::error::eof && ec != asio::error::operation_aborted) {
                tracker_.Log(kind_ + " connection from " + address_ + " failed: " + ec.message());
            }
            Abort("");
            return;
        }
        if (closeAfterFlush_) {
            Read();  // only waiting for the peer's end now; what it sends is discarded
            return;
        }
        lastActivity_ = std::chrono::steady_clock::now();
        std::string_view bytes(readBuffer_.data(), n);
        std::string plain;
        if (!Unwrap(bytes, plain)) return;
        Process(bytes);
        if (!closed_) Read();
    });
}

bool Connection::Unwrap(std::string_view& bytes, std::string& plain) {
    if (!transportChosen_) {
        transportChosen_ = true;
        if (limits_.tls && static_cast<unsigned char>(bytes.front()) == kTlsHandshakeByte) {
            tls_ = std::make_unique<TlsSession>(*limits_.tls);
        } else if (!limits_.plainAllowed) {
            Abort("plain text refused (TLS only)");
            return false;
        }
    }
    if (!tls_) return true;
    if (!tls_->Receive(bytes, plain)) {
        Abort(tls_->Error());
        return false;
    }
    if (tls_->HasWire()) {
        tls_->TakeWire(pending_);
        ScheduleFlush();
    }
    if (tls_->PeerClosed() && plain.empty()) {
        Abort("");
        return false;
    }
    bytes = plain;
    return true;
}

void Connection::Process(std::string_view bytes) {
    // Records are usually whole within one read: cut them straight from the read buffer
    // and keep only an incomplete tail.
    std::string_view input = bytes;
    if (!input_.empty()) {
        input_.append(bytes);
        input = input_;
    }
    const std::size_t used = Consume(input);
    if (closed_ || used == std::string_view::npos) return;
    if (input_.empty()) {
        input_.assign(input.substr(used));
    } else {
        input_.erase(0, used);
    }
    if (input_.size() > limits_.maxRecordBytes) {
        Abort("record over the size limit");  // the codec would say the same, later
    }
}

void Connection::ArmTimer(std::chrono::milliseconds after) {
    auto self = shared_from_this();
    timer_.expires_after(after);
    timer_.async_wait([this, self](asio::error_code ec) {
        if (!ec && !closed_) OnTimer();
    });
}

void Connection::OnTimer() {
    if (draining_) {
        Abort("");
        return;
    }
    const auto limit = firstDone_ ? limits_.idleLimit : limits_.firstDeadline;
    const auto now = std::chrono::steady_clock::now();
    const auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastActivity_);
    if (!firstDone_ || quiet >= limit) {
        Abort(firstDone_ ? "idle past the limit" : "no handshake in time");
        return;
    }
    ArmTimer(limit - quiet);
}

void Connection::Queue(std::string_view bytes) {
    if (closed_ || closeAfterFlush_) return;  // nothing may follow the close
    if (pending_.size() - pendingSent_ + bytes.size() > limits_.maxQueuedBytes) {
        // A consumer that cannot keep up is dropped; the close runs outside the caller,
        // which may be walking a room's member list.
        closeAfterFlush_ = true;
        pending_.clear();
        pendingSent_ = 0;
        asio::post(socket_.get_executor(), [self = shared_from_this()] {
            self->Abort("output queue over its limit (peer not reading)");
        });
        return;
    }
    if (tls_) {
        if (!tls_->Send(bytes)) {
            asio::post(socket_.get_executor(),
                       [self = shared_from_this()] { self->Abort(self->tls_->Error()); });
            return;
        }
        tls_->TakeWire(pending_);
    } else {
        pending_.append(bytes);
    }
    ScheduleFlush();
}

void Connection::ScheduleFlush() {
    if (awaitingWritable_ || flushScheduled_) return;
    flushScheduled_ = true;
    tracker_.Output().Add(shared_from_this());
}

void Connection::Flush() {
    flushScheduled_ = false;
    if (closed_ || awaitingWritable_) return;
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
    ArmTimer(std::chrono::milliseconds(2000));
}

void Connection::Abort(std::string_view why) {
    if (closed_) return;
    closed_ = true;
    if (!why.empty())
        tracker_.Log(kind_ + " connection from " + address_ + " closed: " + std::string(why));
    asio::error_code ec;
    timer_.cancel();
    socket_.close(ec);
    pending_.clear();
    pendingSent_ = 0;
    OnClosed();
    tracker_.Closed(*this);
}

}  // namespace zorvid
