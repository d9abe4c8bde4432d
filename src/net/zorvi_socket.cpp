#include "net/zorvi_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

namespace zorvi {
namespace {

constexpr std::size_t kChunkBytes = 4096;
// Poll in short slices so the wait hook can repaint the window in between.
constexpr std::chrono::milliseconds kSlice{20};

using Clock = std::chrono::steady_clock;

[[noreturn]] void ThrowErrno(const char* what, int err) {
    throw SocketError(std::string(what) + ": " + std::strerror(err), err);
}

// Looks up IPv4 addresses for a host name. The resolver call cannot be interrupted, so it
// runs on a thread of its own that is left behind when the connect time-out passes first.
std::vector<sockaddr_in> ResolveIpv4(const std::string& host, int port,
                                     std::chrono::milliseconds timeout,
                                     const std::function<void()>& waitHook) {
    std::vector<sockaddr_in> result;
    sockaddr_in numeric{};
    numeric.sin_family = AF_INET;
    numeric.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &numeric.sin_addr) == 1) {
        result.push_back(numeric);
        return result;
    }
    if (host.empty()) return result;

    std::packaged_task<std::vector<sockaddr_in>()> task([host, port] {
        std::vector<sockaddr_in> found;
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* list = nullptr;
        const std::string service = std::to_string(port);
        if (getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return found;
        for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
            if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
                sockaddr_in sin;
                std::memcpy(&sin, a->ai_addr, sizeof sin);
                found.push_back(sin);
            }
        }
        freeaddrinfo(list);
        return found;
    });
    std::future<std::vector<sockaddr_in>> future = task.get_future();
    std::thread(std::move(task)).detach();

    const auto deadline = Clock::now() + timeout;
    while (true) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero()) return result;
        if (future.wait_for(std::min(left, kSlice)) == std::future_status::ready)
            return future.get();
        if (waitHook) waitHook();
    }
}

}  // namespace

// Received bytes not yet decoded. Grows only by what has actually arrived. The decoder
// keeps its place in the value that begins at `start` across reads.
struct ZorviSocket::Reader {
    std::string bytes;
    std::size_t start = 0;  // first undecoded byte
    ValueDecoder decoder;

    std::string_view Pending() const { return std::string_view(bytes).substr(start); }
    std::size_t PendingSize() const { return bytes.size() - start; }
    void Consume(std::size_t n) {
        start += n;
        if (start == bytes.size()) {
            bytes.clear();
            start = 0;
        } else if (start >= kChunkBytes && start * 2 >= bytes.size()) {
            bytes.erase(0, start);
            start = 0;
        }
    }
    void Clear() {
        bytes.clear();
        start = 0;
        decoder.Reset();
    }
};

struct ZorviSocket::Writer {
    std::string bytes;
    Writer() { bytes.reserve(kChunkBytes); }
};

ZorviSocket::ZorviSocket(SocketConfig config)
    : config_(std::move(config)), transport_(std::make_unique<PlainTransport>()) {}

ZorviSocket::~ZorviSocket() {
    writer_.reset();
    reader_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void ZorviSocket::SetHandleObserver(std::function<void(int fd)> observer) {
    handleObserver_ = std::move(observer);
}

void ZorviSocket::SetHandle(int fd) {
    if (fd_ >= 0) {
        transport_->EndSending(fd_);
        ::close(fd_);
    }
    // A new descriptor starts plain; TLS is negotiated on it by Connect.
    transport_ = std::make_unique<PlainTransport>();
    fd_ = fd;
    if (handleObserver_) handleObserver_(fd_);
}

bool ZorviSocket::OpenSocket() {
    // A peer that vanishes must fail the write, never end the process.
    std::signal(SIGPIPE, SIG_IGN);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    SetHandle(fd);
    return true;
}

bool ZorviSocket::Create() {
    if (fd_ >= 0) SetHandle(-1);
    return OpenSocket();
}

bool ZorviSocket::ConnectTo(const void* address, unsigned addressLength,
                            std::chrono::milliseconds timeout) {
    if (::connect(fd_, static_cast<const sockaddr*>(address), addressLength) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    try {
        WaitReady(POLLOUT, timeout);
    } catch (const SocketError&) {
        return false;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return false;
    return err == 0;
}

bool ZorviSocket::Connect(const std::string& host, int port) {
    certificateFailure_.clear();
    if (fd_ < 0 || port < 0 || port > 65535) return false;
    // Look-up and every address tried share one time budget.
    const auto deadline = Clock::now() + config_.connectTimeout;
    const auto addresses = ResolveIpv4(host, port, config_.connectTimeout, config_.waitHook);
    bool first = true;
    for (const sockaddr_in& address : addresses) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero()) return false;
        // A socket whose connect failed cannot be reused portably: try the next address
        // on a fresh one.
        if (!first && !OpenSocket()) return false;
        first = false;
        if (ConnectTo(&address, sizeof address, left))
            return !config_.tls.enabled || StartTls(host, deadline);
    }
    return false;
}

bool ZorviSocket::StartTls(const std::string& host, Clock::time_point deadline) {
    auto tls = TlsTransport::Create(config_.tls, host, certificateFailure_);
    if (!tls) return false;
    while (true) {
        const TransferResult step = tls->Handshake(fd_);
        if (step.bytes > 0) {
            transport_ = std::move(tls);
            return true;
        }
        if (step.error != EAGAIN) {
            certificateFailure_ = tls->CertificateFailure();
            return false;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero()) return false;
        try {
            WaitReady(step.waitFor, left);
        } catch (const SocketError&) {
            return false;
        }
    }
}

void ZorviSocket::Init() {
    reader_ = std::make_unique<Reader>();
    writer_ = std::make_unique<Writer>();
}

void ZorviSocket::WaitReady(short events, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (fd_ < 0) ThrowErrno("wait", EBADF);
        // Round up, so a wait never ends before its full time has passed.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left <= std::chrono::milliseconds::zero()) ThrowErrno("wait", ETIMEDOUT);
        pollfd p{fd_, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min(left, kSlice).count()));
        if (n < 0 && errno != EINTR) ThrowErrno("poll", errno);
        // Errors and hang-ups count as ready: the following call reports them.
        if (n > 0 && p.revents != 0) return;
        if (config_.waitHook) config_.waitHook();
    }
}

void ZorviSocket::FillReader() {
    Reader& r = *reader_;
    while (true) {
        if (fd_ < 0) ThrowErrno("recv", EBADF);
        const std::size_t old = r.bytes.size();
        // Bytes TLS has decrypted already raise no readiness: take them along.
        const std::size_t room = std::max(kChunkBytes, transport_->Buffered());
        r.bytes.resize(old + room);
        const TransferResult got = transport_->Receive(fd_, r.bytes.data() + old, room);
        r.bytes.resize(old + static_cast<std::size_t>(std::max<std::ptrdiff_t>(got.bytes, 0)));
        if (got.bytes > 0) {
            if (transport_->Buffered() > 0) continue;
            return;
        }
        if (got.error == 0) throw EndOfStream();
        if (got.error == EAGAIN) {
            WaitReady(got.waitFor, config_.ioTimeout);
            continue;
        }
        ThrowErrno("recv", got.error);
    }
}

template <typename Decoder>
void ZorviSocket::ReceiveValue(Decoder&& decode) {
    if (!reader_) ThrowErrno("receive", ENOTCONN);
    Reader& r = *reader_;
    r.decoder.SetLimits(config_.limits);
    std::size_t needed = 1;
    while (true) {
        if (r.PendingSize() >= needed) {
            const DecodeResult result = decode(r.decoder, r.Pending());
            if (result.status == DecodeStatus::Complete) {
                r.Consume(result.consumed);
                return;
            }
            if (result.status == DecodeStatus::Malformed) {
                // The stream has lost its place; nothing after this can be trusted.
                r.Clear();
                throw ProtocolError(result.error);
            }
            // Decode again only once the bytes it asked for are present; the decoder
            // resumes where it stopped.
            needed = std::max(result.needed, r.PendingSize() + 1);
        }
        FillReader();
    }
}

void ZorviSocket::ReceiveMsg(CMsg& msg) {
    ReceiveValue([&](ValueDecoder& decoder, std::string_view bytes) {
        const DecodeResult r = decoder.NextMsg(bytes);
        if (r.status == DecodeStatus::Complete) std::swap(msg, decoder.Msg());
        return r;
    });
}

std::string ZorviSocket::ReadBareString() {
    std::string s;
    ReceiveValue([&](ValueDecoder& decoder, std::string_view bytes) {
        const DecodeResult r = decoder.NextBareString(bytes);
        if (r.status == DecodeStatus::Complete) s = std::move(decoder.BareString());
        return r;
    });
    return s;
}

void ZorviSocket::SendAll(std::string_view bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (fd_ < 0) ThrowErrno("send", EBADF);
        const TransferResult put = transport_->Send(fd_, bytes.data() + sent, bytes.size() - sent);
        if (put.bytes > 0) {
            sent += static_cast<std::size_t>(put.bytes);
            continue;
        }
        if (put.error == EAGAIN) {
            WaitReady(put.waitFor, config_.ioTimeout);
            continue;
        }
        ThrowErrno("send", put.error != 0 ? put.error : EIO);
    }
}

void ZorviSocket::SendMsg(const CMsg& msg) {
    if (!writer_) return;
    writer_->bytes.clear();
    AppendMsg(msg, writer_->bytes);
    std::string_view pending = writer_->bytes;
    SendAll(pending);
    writer_->bytes.clear();
    if (writer_->bytes.capacity() > kChunkBytes) {
        // Keep the buffer at its working size after a large record.
        std::string().swap(writer_->bytes);
        writer_->bytes.reserve(kChunkBytes);
    }
}

void ZorviSocket::WriteBareString(std::string_view s) {
    // The join needs its answer: without a writer the exchange cannot happen at all.
    if (!writer_) ThrowErrno("send", ENOTCONN);
    writer_->bytes.clear();
    AppendBareString(s, writer_->bytes);
    SendAll(writer_->bytes);
    writer_->bytes.clear();
}

void ZorviSocket::Close() {
    if (fd_ >= 0) SetHandle(-1);
}

bool ZorviSocket::ShutdownSend() {
    if (fd_ < 0) return false;
    transport_->EndSending(fd_);
    return ::shutdown(fd_, SHUT_WR) == 0;
}

bool ZorviSocket::GetPeerName(std::string& address, int& port) const {
    if (fd_ < 0) return false;
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer), &len) != 0 ||
        peer.sin_family != AF_INET) {
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) return false;
    address = text;
    port = ntohs(peer.sin_port);
    return true;
}

bool ZorviSocket::HasBufferedInput() const {
    return (reader_ && reader_->PendingSize() > 0) || transport_->Buffered() > 0;
}

std::uint64_t ZorviSocket::DecoderBytesExamined() const {
    return reader_ ? reader_->decoder.Examined() : 0;
}

void ZorviSocket::AbortWriter() { writer_.reset(); }

void ZorviSocket::DrainInput(std::size_t chunk) {
    std::vector<char> scratch(chunk);
    // One budget for the whole drain: a peer that keeps sending must not hold us forever.
    const auto deadline = Clock::now() + config_.ioTimeout;
    try {
        while (fd_ >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= std::chrono::milliseconds::zero()) break;
            const TransferResult got = transport_->Receive(fd_, scratch.data(), scratch.size());
            if (got.bytes > 0) continue;
            if (got.error == EAGAIN) {
                WaitReady(got.waitFor, left);
                continue;
            }
            break;
        }
    } catch (const SocketError&) {
        // A time-out or a failed wait ends the drain like any other error.
    }
    // Whatever followed the closing notice is discarded with the stream.
    if (reader_) reader_->Clear();
}

void ChatSocket::DrainAndClose() {
    ShutdownSend();
    DrainInput(50);
    Close();
}

}  // namespace zorvi
