#include "server/core/connection.h"

namespace zorvid {

Connection::Connection(asio::ip::tcp::socket socket, std::string address,
                       const ConnectionLimits& limits, ConnectionTracker& tracker, std::string kind)
    : socket_(std::move(socket)), timer_(socket_.get_executor()), address_(std::move(address)),
      limits_(limits), tracker_(tracker), kind_(std::move(kind)) {}

Connection::~Connection() = default;

void Connection::Start() {
    asio::error_code ec;
    socket_.set_option(asio::ip::tcp::no_delay(true), ec);
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
        input_.append(readBuffer_.data(), n);
        const std::size_t used = Consume(input_);
        if (closed_ || used == std::string_view::npos) return;
        input_.erase(0, used);
        if (input_.size() > limits_.maxRecordBytes) {
            Abort("record over the size limit");  // the codec would say the same, later
            return;
        }
        Read();
    });
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
    if (closed_) return;
    if (pending_.size() + writing_.size() + bytes.size() > limits_.maxQueuedBytes) {
        // A consumer that cannot keep up is dropped; the close runs outside the caller,
        // which may be walking a room's member list.
        closeAfterFlush_ = true;
        pending_.clear();
        asio::post(socket_.get_executor(), [self = shared_from_this()] {
            self->Abort("output queue over its limit (peer not reading)");
        });
        return;
    }
    pending_.append(bytes);
    if (!writeInFlight_ && !flushPosted_) {
        flushPosted_ = true;
        asio::post(socket_.get_executor(), [self = shared_from_this()] { self->Flush(); });
    }
}

void Connection::Flush() {
    flushPosted_ = false;
    if (closed_ || writeInFlight_) return;
    if (pending_.empty()) {
        if (closeAfterFlush_) Shutdown();
        return;
    }
    writing_.swap(pending_);
    pending_.clear();
    writeInFlight_ = true;
    auto self = shared_from_this();
    asio::async_write(socket_, asio::buffer(writing_), [this, self](asio::error_code ec, std::size_t) {
        writeInFlight_ = false;
        writing_.clear();
        if (closed_) return;
        if (ec) {
            Abort("");
            return;
        }
        Flush();
    });
}

void Connection::CloseAfterFlush() {
    if (closed_ || closeAfterFlush_) return;
    closeAfterFlush_ = true;
    if (!writeInFlight_ && !flushPosted_) {
        flushPosted_ = true;
        asio::post(socket_.get_executor(), [self = shared_from_this()] { self->Flush(); });
    }
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
    if (!why.empty()) tracker_.Log(kind_ + " connection from " + address_ + " closed: " + std::string(why));
    asio::error_code ec;
    timer_.cancel();
    socket_.close(ec);
    pending_.clear();
    OnClosed();
    tracker_.Closed(*this);
}

}  // namespace zorvid
