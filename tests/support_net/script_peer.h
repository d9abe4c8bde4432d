#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/cmsg.h"

namespace kvtest {

// An owned file descriptor; closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The steps one accepted connection runs, in order. Built fluently:
//
//   kvtest::PeerScript s;
//   s.Receive().Send(reply).Receive().Close();
//
// Every step that waits for the client gives up after the script's step time-out and
// records an error (see ScriptPeer::Errors()); the connection is then closed.
class PeerScript {
public:
    struct Step;
    using Custom = std::function<void(int fd)>;

    PeerScript();
    ~PeerScript();
    PeerScript(const PeerScript&);
    PeerScript& operator=(const PeerScript&);

    // Reads one record and stores it (ScriptPeer::Received()).
    PeerScript& Receive();
    // Reads one bare string and stores it (ScriptPeer::ReceivedStrings()).
    PeerScript& ReceiveBareString();
    // Sends the encoding of a record in one write.
    PeerScript& Send(const CMsg& msg);
    // Sends a bare string.
    PeerScript& SendBareString(const std::string& s);
    // Sends raw bytes, in one write or one byte per write (with a short pause between
    // writes so they arrive in separate reads).
    PeerScript& SendRaw(const std::string& bytes, bool oneBytePerWrite = false);
    // Pauses the connection; ends early when the peer stops.
    PeerScript& Wait(std::chrono::milliseconds duration);
    // Never answers: holds the connection open, reading and discarding, until the client
    // closes it or the peer stops.
    PeerScript& Silent();
    // Waits for the client to close its sending direction (end of stream) and records
    // that it did (ScriptPeer::ClientCloses()). Bytes arriving meanwhile are recorded as
    // records when they decode.
    PeerScript& ExpectEnd();
    // Closes the connection (orderly FIN); with `reset`, aborts it (RST).
    PeerScript& Close(bool reset = false);
    // Shuts down the peer's sending direction only.
    PeerScript& ShutdownSend();
    // Runs free-form code on the peer's thread with the connection's descriptor.
    PeerScript& Run(Custom fn);
    // Hands the descriptor to the test (ScriptPeer::TakeConnection()); the script ends
    // and the peer no longer touches the connection.
    PeerScript& HandOver();

    // How long a waiting step may wait (default 5 s).
    PeerScript& StepTimeout(std::chrono::milliseconds t);

    const std::vector<Step>& steps() const { return steps_; }
    std::chrono::milliseconds stepTimeout() const { return stepTimeout_; }

private:
    std::vector<Step> steps_;
    std::chrono::milliseconds stepTimeout_{5000};
};

// A loopback TCP peer on 127.0.0.1, any free port, for tests of connections and exchanges.
// Each accepted connection runs a script on its own thread: connection i runs scripts[i],
// and connections beyond the list run the last script again. Everything it receives is
// stored for later assertions. The destructor stops and joins every thread.
class ScriptPeer {
public:
    explicit ScriptPeer(PeerScript script);
    explicit ScriptPeer(std::vector<PeerScript> scripts);
    ~ScriptPeer();
    ScriptPeer(const ScriptPeer&) = delete;
    ScriptPeer& operator=(const ScriptPeer&) = delete;

    int port() const { return port_; }

    // Records and bare strings received so far, over all connections: connection by
    // connection in the order they were accepted, each in arrival order.
    std::vector<CMsg> Received() const;
    std::vector<std::string> ReceivedStrings() const;
    // Connections accepted, scripts run to their end, end-of-stream seen by ExpectEnd.
    int Accepted() const;
    int Finished() const;
    int ClientCloses() const;
    // What went wrong in scripts (time-outs, malformed input, unexpected end of stream).
    std::vector<std::string> Errors() const;

    // Each waits until the count is reached or the deadline passes; true when reached.
    // WaitForReceived counts records and bare strings together.
    bool WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForAccepted(int count, std::chrono::milliseconds timeout) const;
    bool WaitForFinished(int count, std::chrono::milliseconds timeout) const;

    // The descriptor of a connection whose script reached HandOver(); an empty UniqueFd
    // when none arrives in time.
    UniqueFd TakeConnection(std::chrono::milliseconds timeout);

private:
    struct Connection;
    void AcceptLoop();
    void RunScript(int fd, std::size_t connection, const PeerScript& script);
    bool WaitUntil(std::chrono::milliseconds timeout, const std::function<bool()>& done) const;
    void AddError(const std::string& e);
    void RecordMsg(std::size_t connection, const CMsg& m);
    void RecordString(std::size_t connection, const std::string& s);

    std::vector<PeerScript> scripts_;
    int listenFd_ = -1;
    int stopFd_ = -1;  // eventfd: readable once the peer stops
    int port_ = 0;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::pair<std::size_t, CMsg>> received_;  // tagged with the connection
    std::vector<std::pair<std::size_t, std::string>> receivedStrings_;
    std::vector<std::string> errors_;
    std::deque<int> handedOver_;
    int accepted_ = 0;
    int finished_ = 0;
    int clientCloses_ = 0;

    std::vector<std::thread> connectionThreads_;  // guarded by mutex_
    std::thread acceptThread_;
};

// A port on loopback where nothing listens: that of a peer that has gone away.
inline int ClosedPort() {
    ScriptPeer gone{PeerScript()};
    return gone.port();
}

}  // namespace kvtest
