#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "net/cmsg.h"
#include "net/codec.h"
#include "net/stream_errors.h"
#include "net/tls_transport.h"

namespace zorvi {

// How long a blocking call may wait, and what runs while it waits.
struct SocketConfig {
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds ioTimeout{30000};
    DecodeLimits limits{};
    // Called repeatedly (every few tens of milliseconds) while a call blocks, so that the
    // user interface can repaint. Must not run other handlers of the window.
    std::function<void()> waitHook;
    // TLS on every connection made with this configuration, and whom it trusts.
    TlsSettings tls{};
};

// A blocking TCP stream socket carrying Zorvi records: POSIX underneath, with a 4096-byte
// reader and writer, time-outs on every wait, and SIGPIPE never raised.
class ZorviSocket {
public:
    explicit ZorviSocket(SocketConfig config = {});
    virtual ~ZorviSocket();
    ZorviSocket(const ZorviSocket&) = delete;
    ZorviSocket& operator=(const ZorviSocket&) = delete;

    // A new TCP socket (any earlier one is closed). False when the system refuses one.
    bool Create();
    // Dotted IPv4 address or host name. False on any failure, including the time-out.
    // With TLS on, the handshake and the check of the server's certificate belong to the
    // connect and share its time-out.
    bool Connect(const std::string& host, int port);
    // Why the last Connect refused the server's certificate; empty when it did not.
    const std::string& CertificateFailure() const { return certificateFailure_; }
    // Fresh input reader and output writer over the connected socket.
    void Init();

    // Sends one record whole; does nothing without an output writer. Throws StreamFailure.
    void SendMsg(const CMsg& msg);
    // Blocks until one whole record has arrived. Throws StreamFailure.
    void ReceiveMsg(CMsg& msg);
    // The join handshake's single strings. Throw StreamFailure.
    void WriteBareString(std::string_view s);
    std::string ReadBareString();

    void Close();
    // Drops whatever the output writer still holds, without sending, and deletes it:
    // SendMsg then does nothing until the next Init.
    void Abort() { AbortWriter(); }
    bool ShutdownSend();
    // Remote address as dotted text and port; false when not connected.
    bool GetPeerName(std::string& address, int& port) const;

    bool HasOutputWriter() const { return writer_ != nullptr; }
    // True while the input reader holds received bytes not yet decoded.
    bool HasBufferedInput() const;
    // Bytes the input reader's decoder has examined since Init: about the bytes received,
    // however they were split.
    std::uint64_t DecoderBytesExamined() const;
    int Handle() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

    SocketConfig& config() { return config_; }

    // Told the new handle whenever it changes: Create gives a fresh descriptor, Close
    // gives -1. The owner re-points its readiness notifier from here. Not called by the
    // destructor, which may run while the owner is being torn down.
    void SetHandleObserver(std::function<void(int fd)> observer);

protected:
    // Drops whatever the writer still holds, without sending, and deletes the writer.
    void AbortWriter();

    struct Reader;
    struct Writer;

    // Receives and discards bytes (at most `chunk` per read) until the peer closes, a read
    // fails or the I/O time-out has passed in all; then drops any undecoded input.
    void DrainInput(std::size_t chunk);

private:
    bool OpenSocket();
    void SetHandle(int fd);
    bool ConnectTo(const void* address, unsigned addressLength, std::chrono::milliseconds timeout);
    // Waits until `events` are ready on the handle; throws SocketError(ETIMEDOUT) when
    // `timeout` passes first. Calls the wait hook between short poll slices.
    void WaitReady(short events, std::chrono::milliseconds timeout);
    // Reads once (up to 4096 bytes) into the reader's buffer; throws on end of stream.
    void FillReader();
    void SendAll(std::string_view bytes);
    // The TLS handshake on the connected handle, within the connect's deadline.
    bool StartTls(const std::string& host, std::chrono::steady_clock::time_point deadline);
    template <typename Decoder>
    void ReceiveValue(Decoder&& decode);

    SocketConfig config_;
    std::function<void(int fd)> handleObserver_;
    int fd_ = -1;
    // The byte path of the current connection: plain until a TLS handshake succeeds.
    std::unique_ptr<Transport> transport_;
    std::string certificateFailure_;
    std::unique_ptr<Reader> reader_;
    std::unique_ptr<Writer> writer_;
};

class LoginSocket : public ZorviSocket {
public:
    using ZorviSocket::ZorviSocket;
};

class ServiceSocket : public ZorviSocket {
public:
    using ZorviSocket::ZorviSocket;
};

// Whoever owns the chat connection is told when records can be read.
class ChatSocketOwner {
public:
    virtual ~ChatSocketOwner() = default;
    virtual void ProcessPendingRead() = 0;
};

class ChatSocket : public ZorviSocket {
public:
    explicit ChatSocket(ChatSocketOwner* owner, SocketConfig config = {})
        : ZorviSocket(std::move(config)), owner_(owner) {}
    // Readable notification (from the event loop's socket notifier).
    void OnReceive() {
        if (owner_) owner_->ProcessPendingRead();
    }
    // Orderly end requested by the server: shut down sending, read and discard up to 50
    // bytes at a time until the peer closes or a read fails (or times out), then Close.
    void DrainAndClose();

private:
    ChatSocketOwner* owner_;
};

}  // namespace zorvi
