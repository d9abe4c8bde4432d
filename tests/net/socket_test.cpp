#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>

#include "allocation_probe.h"
#include "net/codec.h"
#include "net/protocol.h"
#include "net/zorvi_socket.h"
#include "support_net/script_peer.h"

using namespace std::chrono_literals;
using kvtest::PeerScript;
using kvtest::ScriptPeer;
using zorvi::ZorviSocket;

namespace {

zorvi::SocketConfig ShortTimeouts() {
    zorvi::SocketConfig c;
    c.connectTimeout = 2000ms;
    c.ioTimeout = 300ms;
    return c;
}

// Counts the wait hook's calls. The hook runs every few tens of milliseconds of waiting,
// never more often, so the 300 ms time-outs used here allow no more than a few dozen
// calls; past that the wait has overrun, and the socket is closed to end it.
struct WaitWatch {
    static constexpr int kMaxCallsPerTimeout = 60;

    explicit WaitWatch(ZorviSocket& s) {
        s.config().waitHook = [this, &s] {
            if (++calls > 2 * kMaxCallsPerTimeout) {
                overran = true;
                s.Close();
            }
        };
    }
    int calls = 0;
    bool overran = false;
};

CMsg Line(const std::string& text) {
    CMsg m(code1::kReply, code2::kChatLine);
    m.list = {text};
    return m;
}

// Connects and initialises; fails the test when the loopback peer cannot be reached.
void Open(ZorviSocket& s, const ScriptPeer& peer) {
    ASSERT_TRUE(s.Create());
    ASSERT_TRUE(s.Connect("127.0.0.1", peer.port()));
    s.Init();
}

int ErrnoOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const zorvi::SocketError& e) {
        return e.errorNumber;
    }
    return 0;
}

}  // namespace

TEST(SocketExchange, RequestReplyAndClosingNotice) {
    CMsg reply(code1::kReply, code2::kChannelList);
    reply.list = {"+Lobby"};
    reply.array = {3};
    ScriptPeer peer(PeerScript().Receive().Send(reply).Receive().ExpectEnd());

    zorvi::ServiceSocket s(ShortTimeouts());
    Open(s, peer);
    CMsg request(code1::kRequest, code2::kChannelList);
    s.SendMsg(request);
    CMsg got;
    s.ReceiveMsg(got);
    EXPECT_EQ(got, reply);
    EXPECT_FALSE(s.HasBufferedInput());
    s.SendMsg(CMsg(code1::kRequest, code2::kClosing));

    std::string address;
    int port = 0;
    ASSERT_TRUE(s.GetPeerName(address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, peer.port());

    s.Close();
    EXPECT_FALSE(s.GetPeerName(address, port));
    ASSERT_TRUE(peer.WaitForFinished(1, 5s));
    const auto received = peer.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], request);
    EXPECT_TRUE(received[1].Is(code1::kRequest, code2::kClosing));
    EXPECT_EQ(peer.ClientCloses(), 1);
    EXPECT_TRUE(peer.Errors().empty());
}

TEST(SocketExchange, SplitAndCoalescedRecords) {
    const CMsg first = Line("alice: hello");
    const CMsg second = Line("bob: hi there");
    // One byte per write: the record is put together from many reads.
    // Two records in one write: the second is decoded from the bytes left over.
    ScriptPeer peer(PeerScript()
                        .SendRaw(zorvi::EncodeMsg(first), true)
                        .SendRaw(zorvi::EncodeMsg(first) + zorvi::EncodeMsg(second))
                        .Wait(200ms)
                        .Close());
    ZorviSocket s(ShortTimeouts());
    Open(s, peer);
    CMsg got;
    s.ReceiveMsg(got);
    EXPECT_EQ(got, first);

    s.ReceiveMsg(got);
    EXPECT_EQ(got, first);
    EXPECT_TRUE(s.HasBufferedInput());
    s.ReceiveMsg(got);
    EXPECT_EQ(got, second);
    EXPECT_FALSE(s.HasBufferedInput());
}

TEST(SocketExchange, BareStringJoin) {
    const std::string longName(300, 'n');
    ScriptPeer peer(
        PeerScript().ReceiveBareString().SendBareString("join the chatroom").ReceiveBareString());
    ZorviSocket s(ShortTimeouts());
    Open(s, peer);
    s.WriteBareString("alice");
    EXPECT_EQ(s.ReadBareString(), "join the chatroom");
    s.WriteBareString(longName);
    ASSERT_TRUE(peer.WaitForReceived(2, 5s));
    EXPECT_EQ(peer.ReceivedStrings(), (std::vector<std::string>{"alice", longName}));
}

TEST(SocketFailures, SilentPeerTimesOutEachCall) {
    ScriptPeer peer(PeerScript().Silent());
    ZorviSocket s(ShortTimeouts());
    Open(s, peer);
    WaitWatch watch(s);

    CMsg got;
    EXPECT_EQ(ErrnoOf([&] { s.ReceiveMsg(got); }), ETIMEDOUT);
    // The window repaints while a call waits.
    EXPECT_GE(watch.calls, 1);
    const int afterFirst = watch.calls;
    EXPECT_EQ(ErrnoOf([&] { s.ReadBareString(); }), ETIMEDOUT);
    EXPECT_GT(watch.calls, afterFirst);
    EXPECT_FALSE(watch.overran) << "a wait went on past its time-out";
}

TEST(SocketFailures, ConnectGivesUp) {
    ZorviSocket s(ShortTimeouts());
    const int deadPort = kvtest::ClosedPort();
    ASSERT_TRUE(s.Create());
    EXPECT_FALSE(s.Connect("127.0.0.1", deadPort));
    ASSERT_TRUE(s.Create());
    EXPECT_FALSE(s.Connect("no-such-host.invalid", zorvi::kDefaultLoginPort));
    ASSERT_TRUE(s.Create());
    EXPECT_FALSE(s.Connect("127.0.0.1", -1));
    // Without Create there is nothing to connect.
    ZorviSocket fresh(ShortTimeouts());
    EXPECT_FALSE(fresh.Connect("127.0.0.1", deadPort));

    // A listener whose accept queue is full drops further handshakes: only the connect
    // time-out ends the wait.
    kvtest::UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener.get(), 0), 0);
    ASSERT_EQ(::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&addr), &len), 0);
    const int fullPort = ntohs(addr.sin_port);
    ZorviSocket filler(ShortTimeouts());
    ASSERT_TRUE(filler.Create());
    ASSERT_TRUE(filler.Connect("127.0.0.1", fullPort));

    zorvi::SocketConfig quick = ShortTimeouts();
    quick.connectTimeout = 300ms;
    ZorviSocket slow(quick);
    ASSERT_TRUE(slow.Create());
    WaitWatch watch(slow);
    EXPECT_FALSE(slow.Connect("127.0.0.1", fullPort));
    EXPECT_GE(watch.calls, 1) << "the connect gave up without waiting for its time-out";
    EXPECT_FALSE(watch.overran) << "the connect went on past its time-out";
}

TEST(SocketFailures, PeerClosesMidRecord) {
    const std::string whole = zorvi::EncodeMsg(Line("cut short"));
    // A text announced at 15 MiB of which 100 bytes arrive.
    const std::string announced =
        std::string("\x0D\0\0\0\x0B\0\0\0\xFF\xFF\xFF\0\0\xF0\0", 15) + std::string(100, 't');
    ScriptPeer peer(
        std::vector<PeerScript>{PeerScript().SendRaw(whole.substr(0, whole.size() - 3)).Close(),
                                PeerScript().SendRaw(announced).Close()});
    ZorviSocket s(ShortTimeouts());
    Open(s, peer);
    CMsg got;
    EXPECT_THROW(s.ReceiveMsg(got), zorvi::EndOfStream);
    // Both are stream failures, which every caller guards against.
    EXPECT_THROW(s.ReceiveMsg(got), zorvi::StreamFailure);

    ZorviSocket second(ShortTimeouts());
    Open(second, peer);
    allocation_probe::Reset();
    EXPECT_THROW(second.ReceiveMsg(got), zorvi::EndOfStream);
    EXPECT_LT(allocation_probe::Largest(), 64u * 1024u)
        << "the reader sized its buffer from the claim";
}

TEST(SocketFailures, MalformedAndOversizedInput) {
    // A second wide-string marker.
    const std::string wideTwice("\x0E\0\0\0\x0B\0\0\0\xFF\xFE\xFF\xFF\xFE\xFF", 14);
    // A list count claiming four thousand million strings.
    const std::string hugeCount =
        std::string("\x0E\0\0\0\x0B\0\0\0\0\0\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF", 19);
    ScriptPeer peer(std::vector<PeerScript>{
        PeerScript().SendRaw(wideTwice).Wait(2s), PeerScript().SendRaw(hugeCount).Wait(2s),
        PeerScript().SendRaw(zorvi::EncodeBareString(std::string(2000, 'x'))).Wait(2s)});
    for (int i = 0; i < 2; ++i) {
        ZorviSocket s(ShortTimeouts());
        Open(s, peer);
        CMsg got;
        EXPECT_THROW(s.ReceiveMsg(got), zorvi::ProtocolError) << "connection " << i;
        EXPECT_FALSE(s.HasBufferedInput());
    }
    zorvi::SocketConfig small = ShortTimeouts();
    small.limits.maxRecordBytes = 1000;
    ZorviSocket s(small);
    Open(s, peer);
    EXPECT_THROW(s.ReadBareString(), zorvi::ProtocolError);
}

TEST(SocketFailures, SendWithoutWriterIsNothing) {
    ScriptPeer peer(PeerScript().ExpectEnd());
    zorvi::ChatSocket chat(nullptr, ShortTimeouts());
    // Never joined: no handle, no writer.
    EXPECT_NO_THROW(chat.SendMsg(CMsg(code1::kUserAction, code2::kChatLine)));
    ASSERT_TRUE(chat.Create());
    ASSERT_TRUE(chat.Connect("127.0.0.1", peer.port()));
    chat.Init();
    EXPECT_TRUE(chat.HasOutputWriter());
    chat.Abort();
    EXPECT_FALSE(chat.HasOutputWriter());
    EXPECT_NO_THROW(chat.SendMsg(CMsg(code1::kUserAction, code2::kChatLine)));
    EXPECT_NE(ErrnoOf([&] { chat.WriteBareString("alice"); }), 0);
    chat.Close();
    ASSERT_TRUE(peer.WaitForFinished(1, 5s));
    EXPECT_TRUE(peer.Received().empty()) << "an aborted connection sent something";
    EXPECT_EQ(peer.ClientCloses(), 1);
}

TEST(SocketFailures, SendAfterCloseAndToResetPeerFails) {
    // The peer resets only after a first record, so the reset cannot overtake the connect.
    ScriptPeer peer(PeerScript().Receive().Close(true));
    ZorviSocket s(ShortTimeouts());
    Open(s, peer);
    s.SendMsg(CMsg(code1::kRequest, code2::kChannelListRequest));
    ASSERT_TRUE(peer.WaitForFinished(1, 5s));
    // The peer reset the connection: writes fail with an error (SIGPIPE is not raised,
    // or this test would die), never silently succeed forever.
    int err = 0;
    for (int i = 0; i < 50 && err == 0; ++i)
        err = ErrnoOf([&] { s.SendMsg(Line(std::string(1000, 'z'))); });
    EXPECT_TRUE(err == EPIPE || err == ECONNRESET) << err;

    s.Close();
    EXPECT_EQ(ErrnoOf([&] { s.SendMsg(CMsg(code1::kRequest, code2::kClosing)); }), EBADF);
}

TEST(SocketLifecycle, HandleObserverAndReuse) {
    ScriptPeer peer(PeerScript().Receive().Close());
    ZorviSocket s(ShortTimeouts());
    std::vector<int> handles;
    s.SetHandleObserver([&](int fd) { handles.push_back(fd); });
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(s.Create());
        ASSERT_TRUE(s.Connect("localhost", peer.port()));
        s.Init();
        s.SendMsg(CMsg(code1::kRequest, code2::kClosing));
        s.Close();
    }
    ASSERT_EQ(handles.size(), 4u);
    EXPECT_GE(handles[0], 0);
    EXPECT_EQ(handles[1], -1);
    EXPECT_GE(handles[2], 0);
    EXPECT_EQ(handles[3], -1);
    EXPECT_FALSE(s.IsOpen());
    ASSERT_TRUE(peer.WaitForReceived(2, 5s));
}

namespace {
class CountingOwner : public zorvi::ChatSocketOwner {
public:
    void ProcessPendingRead() override { ++reads; }
    int reads = 0;
};
}  // namespace

TEST(SocketLifecycle, ChatDrainAndClose) {
    CMsg ending(code1::kReply, code2::kClosing);
    ScriptPeer peer(PeerScript()
                        .SendRaw(zorvi::EncodeMsg(ending) + zorvi::EncodeMsg(Line("after the end")))
                        .SendRaw(std::string(500, 'q'))
                        .ExpectEnd()
                        .Close());
    CountingOwner owner;
    zorvi::ChatSocket chat(&owner, ShortTimeouts());
    Open(chat, peer);
    chat.OnReceive();
    EXPECT_EQ(owner.reads, 1);
    CMsg got;
    chat.ReceiveMsg(got);
    EXPECT_TRUE(got.Is(code1::kReply, code2::kClosing));
    EXPECT_TRUE(chat.HasBufferedInput());
    chat.DrainAndClose();
    EXPECT_FALSE(chat.IsOpen());
    EXPECT_FALSE(chat.HasBufferedInput());
    ASSERT_TRUE(peer.WaitForFinished(1, 5s));
    EXPECT_EQ(peer.ClientCloses(), 1);
}

TEST(SocketLifecycle, DrainEndsAgainstEndlessSender) {
    // After its closing notice the peer keeps sending and never closes; only our closing
    // the connection stops it (a minute's cap keeps a broken drain from hanging the run).
    std::atomic<bool> stoppedByClose{false};
    ScriptPeer peer(
        PeerScript().Send(CMsg(code1::kReply, code2::kClosing)).Run([&stoppedByClose](int fd) {
            const std::string junk(4096, 'j');
            const auto cap = std::chrono::steady_clock::now() + 60s;
            while (std::chrono::steady_clock::now() < cap) {
                if (::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL) <= 0) {
                    stoppedByClose = true;
                    return;
                }
            }
        }));
    zorvi::ChatSocket chat(nullptr, ShortTimeouts());
    Open(chat, peer);
    CMsg got;
    chat.ReceiveMsg(got);
    ASSERT_TRUE(got.Is(code1::kReply, code2::kClosing));
    chat.DrainAndClose();
    EXPECT_FALSE(chat.IsOpen());
    ASSERT_TRUE(peer.WaitForFinished(1, 90s));
    EXPECT_TRUE(stoppedByClose) << "the drain lasted as long as the sender did";
}

TEST(SocketLifecycle, HandedOverConnection) {
    ScriptPeer peer(PeerScript().HandOver());
    ZorviSocket s(ShortTimeouts());
    Open(s, peer);
    kvtest::UniqueFd fd = peer.TakeConnection(5s);
    ASSERT_TRUE(fd);
    const std::string bytes = zorvi::EncodeMsg(CMsg(code1::kReply, code2::kFindUser));
    ASSERT_EQ(::send(fd.get(), bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    CMsg got;
    s.ReceiveMsg(got);
    EXPECT_TRUE(got.Is(code1::kReply, code2::kFindUser));
}
