#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <csignal>

#include "chat/web_address.h"
#include "chat_harness.h"
#include "net/protocol.h"

using namespace chattest;
using kvtest::PeerScript;
using kvtest::ScriptPeer;

namespace {

// A peer that sends `bytes` in one write once the window is connected, then stays.
PeerScript SendsThenStays(const std::string& bytes) {
    PeerScript s;
    s.SendRaw(bytes).Silent();
    return s;
}

std::string Encoded(std::initializer_list<CMsg> records) {
    std::string bytes;
    for (const CMsg& m : records) zorvi::AppendMsg(m, bytes);
    return bytes;
}

QString ServerListText(const ChatHarness& h) {
    QFile f(h.install + QStringLiteral("/config/server.cfg"));
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("<missing>");
    return QString::fromUtf8(f.readAll());
}

QByteArray ServerListBytes(const ChatHarness& h) {
    QFile f(h.install + QStringLiteral("/config/server.cfg"));
    if (!f.open(QIODevice::ReadOnly)) return "<missing>";
    return f.readAll();
}

void WriteServerList(const ChatHarness& h, const QByteArray& bytes) {
    QFile f(h.install + QStringLiteral("/config/server.cfg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Makes writes past `bytes` fail for as long as it lives (root ignores folder
// permissions, not this limit). The size signal is ignored so the write reports it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        active_ = ::getrlimit(RLIMIT_FSIZE, &previous_) == 0;
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        active_ = active_ && ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        if (active_) ::setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool Active() const { return active_; }

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

}  // namespace

TEST(ChatDispatch, ThreeRecordsInOnePacketAreAllHandledAtOnce) {
    ChatHarness h;
    ScriptPeer peer(SendsThenStays(
        Encoded({Record(code2::kChatLine, {}, {"one"}), Record(code2::kChatLine, {}, {"two"}),
                 Record(code2::kChatLine, {}, {"three"})})));
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return h.Display().contains(QStringLiteral("one")); }));
    // No more bytes reach the socket, so the other two must come from the same turn.
    EXPECT_EQ(h.Lines(), QStringList({"one", "two", "three"}));
}

TEST(ChatDispatch, RecordSplitIntoSingleBytesIsHandledOnce) {
    ChatHarness h;
    PeerScript s;
    s.SendRaw(Encoded({Record(code2::kChatLine, {}, {"a", "b"})}), true)
        .Send(Record(code2::kChatLine, {}, {"end"}))
        .Silent();
    ScriptPeer peer(s);
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return h.Display().contains(QStringLiteral("end")); }));
    EXPECT_EQ(h.Lines(), QStringList({"a", "b", "end"}));
}

TEST(ChatDispatch, RoomTextAndPrivateMessages) {
    ChatHarness h;
    ScriptPeer peer(SendsThenStays(Encoded({
        Record(code2::kChatLine),                       // empty: nothing
        Record(code2::kChatLine, {}, {"x", "y", "z"}),  // three lines in list order
        Record(code2::kPrivateMessage, "", {"ann"}),    // empty text: the sound only
        Record(code2::kPrivateMessage, "hi there", {"ann"}),
        Record(code2::kPrivateMessage, "who?", {}),  // no sender named: empty name
        Record(code2::kBeep, {}, {"ann Beep you!"}),
        Record(code2::kBeep),  // beep without a line
        Record(code2::kChatLine, {}, {"done"}),
    })));
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return h.Display().contains(QStringLiteral("done")); }));
    EXPECT_EQ(h.Lines(),
              QStringList({"x", "y", "z", "ann->hi there", "->who?", "ann Beep you!", "done"}));
    std::vector<ProgramSound> sounds;
    for (const auto& p : h.sounds.played) sounds.push_back(p.first);
    EXPECT_EQ(sounds, (std::vector<ProgramSound>{
                          ProgramSound::PrivateMessage, ProgramSound::PrivateMessage,
                          ProgramSound::PrivateMessage, ProgramSound::Beep, ProgramSound::Beep}));
}

TEST(ChatDispatch, MarkupFromTheNetworkIsShownAsItsCharacters) {
    ChatHarness h;
    ScriptPeer peer(SendsThenStays(Encoded({
        Record(code2::kChatLine, {}, {"<b>bold</b> &amp; <a href=\"http://x\">link</a>"}),
        Record(code2::kPrivateMessage, "<i>psst</i>", {"<u>ann</u>"}),
        Record(code2::kBeep, {}, {"<h1>big</h1>"}),
        Record(code2::kChatLine, {}, {"done"}),
    })));
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return h.Display().contains(QStringLiteral("done")); }));
    EXPECT_EQ(h.Lines(), QStringList({"<b>bold</b> &amp; <a href=\"http://x\">link</a>",
                                      "<u>ann</u>-><i>psst</i>", "<h1>big</h1>", "done"}));
    // Nothing on screen took a format from the markup: no bold, italics or headings. The one
    // link is the bare web address itself, as typed, never the markup's "link" text.
    const QTextDocument* doc = h.w().m_chatDisplay->document();
    QStringList links;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        EXPECT_EQ(block.blockFormat().headingLevel(), 0) << block.text().toStdString();
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const QString text = it.fragment().text();
            if (f.isAnchor()) {
                links << text;
                EXPECT_EQ(f.anchorHref(), text);
                continue;
            }
            EXPECT_FALSE(f.fontWeight() > QFont::Normal || f.fontItalic() || f.fontUnderline())
                << text.toStdString();
        }
    }
    EXPECT_EQ(links, QStringList{QStringLiteral("http://x")});
}

TEST(ChatDispatch, SoundsStayQuietWithSoundOff) {
    ChatHarness h;
    h.w().SetSoundOn(false);
    CMsg pm = Record(code2::kPrivateMessage, "hi", {"ann"});
    CMsg beep = Record(code2::kBeep, {}, {"b"});
    h.w().DispatchRecord(pm);
    h.w().DispatchRecord(beep);
    EXPECT_TRUE(h.sounds.played.empty());
    EXPECT_EQ(h.Lines(), QStringList({"ann->hi", "b"}));
}

TEST(ChatDispatch, PeopleJoinAndLeave) {
    ChatHarness h;
    ScriptPeer peer(SendsThenStays(Encoded({
        Record(code2::kPersonEntered, "bob", {}, 0),
        Record(code2::kPersonEntered, "Bobby", {}, 1),  // the owner, in blue
        Record(code2::kPersonEntered, "carol", {}, 0),
        Record(code2::kPersonLeft, "bob"),
        Record(code2::kPersonLeft, "nobody"),  // not in the room: nothing changes
        Record(code2::kPersonLeft,
               "CAROL"),  // the screen list ignores case, the room list does not
        Record(code2::kChatLine, {}, {"done"}),
    })));
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return h.Display().contains(QStringLiteral("done")); }));
    EXPECT_EQ(h.w().roomUsers(), QStringList({"Bobby", "carol"}));
    EXPECT_EQ(h.users.Names(), QStringList({"Bobby"}));
    EXPECT_EQ(h.users.Colour(0), kOwnerColour);
    EXPECT_GE(h.users.redraws, 3);
}

TEST(ChatDispatch, PortalNavigatesOnlyToWebPages) {
    ChatHarness h;
    CMsg good = Record(code2::kPortalAddress, "https://example.org/news");
    CMsg local = Record(code2::kPortalAddress, "file:///etc/passwd");
    CMsg script = Record(code2::kPortalAddress, "javascript:alert(1)");
    h.w().DispatchRecord(good);
    h.w().DispatchRecord(local);
    h.w().DispatchRecord(script);
    EXPECT_EQ(h.portal.calls, QStringList({"Navigate https://example.org/news"}));
    EXPECT_EQ(h.Lines(), QStringList({RefusedAddressLine("file:///etc/passwd"),
                                      RefusedAddressLine("javascript:alert(1)")}));
}

TEST(ChatDispatch, EffectsAndShowsGoToTheirSubsystem) {
    ChatHarness h;
    std::vector<CMsg> records = {Record(code2::kSoundEffect, "s.htm", {"ann"}),
                                 Record(code2::kImageEffect, "i.htm", {"bob"}),
                                 Record(code2::kImageEffectAlt, "j.htm", {}),
                                 Record(code2::kLiveShowStart, "mms://show"),
                                 Record(code2::kLiveShowPlaylist, "list.asx", {"a"})};
    for (CMsg& m : records) h.w().DispatchRecord(m);
    EXPECT_EQ(h.effects.calls,
              QStringList({"sound s.htm from ann", "image i.htm from bob", "image j.htm from ",
                           "show mms://show", "playlist list.asx"}));
}

TEST(ChatDispatch, WithoutBoundSubsystemsNothingBreaks) {
    TestWindow t;
    std::vector<CMsg> records = {
        Record(code2::kSoundEffect, "a", {}), Record(code2::kImageEffect, "b"),
        Record(code2::kLiveShowStart, "c"),   Record(code2::kLiveShowPlaylist, "d"),
        Record(code2::kGiveOwnership),        Record(code2::kOwnerChanged)};
    for (CMsg& m : records) t.w().DispatchRecord(m);
    EXPECT_TRUE(t.w().isOwner());
    EXPECT_TRUE(t.w().ownerName().isEmpty());
}

TEST(ChatDispatch, OtherCodesChangeNothing) {
    ChatHarness h;
    h.w().AddRoomUser(QStringLiteral("ann"), false);
    CMsg twelve = Record(code2::kLeave, "x", {"y"}, 1);
    CMsg unknown = Record(kNotACode, "x", {"y"}, 1);
    h.w().DispatchRecord(twelve);
    h.w().DispatchRecord(unknown);
    EXPECT_TRUE(h.Display().isEmpty());
    EXPECT_EQ(h.w().roomUsers(), QStringList({"ann"}));
    EXPECT_TRUE(h.sounds.played.empty());
    EXPECT_TRUE(h.effects.calls.isEmpty());
    EXPECT_TRUE(h.rooms.calls.isEmpty());
    EXPECT_EQ(ServerListText(h), QStringLiteral("<missing>"));
}

TEST(ChatDispatch, ServerListIsRewritten) {
    ChatHarness h;
    CMsg two = Record(code2::kServerList, {}, {"Main 10.0.0.1", "Backup 10.0.0.2"});
    h.w().DispatchRecord(two);
    EXPECT_EQ(ServerListText(h), QStringLiteral("Main 10.0.0.1\r\nBackup 10.0.0.2\r\n"));
    CMsg none = Record(code2::kServerList);
    h.w().DispatchRecord(none);
    EXPECT_EQ(ServerListText(h), QString()) << "an empty list leaves an empty file";
}

TEST(ChatDispatch, ServerListRewriteReplacesALongerListWhole) {
    ChatHarness h;
    WriteServerList(h, "first.example\r\nsecond.example\r\nthird.example\r\n");
    CMsg one = Record(code2::kServerList, {}, {"\xc3\xa9t\xc3\xa9 <b>&amp;"});
    h.w().DispatchRecord(one);
    EXPECT_EQ(ServerListBytes(h), QByteArray("\xc3\xa9t\xc3\xa9 <b>&amp;\r\n"))
        << "no tail of the old list may remain, and the bytes pass unchanged";
}

TEST(ChatDispatch, FailedServerListWriteLeavesTheOldListWhole) {
    ChatHarness h;
    const QByteArray old("first.example\r\nsecond.example\r\n");
    WriteServerList(h, old);
    CMsg longer = Record(code2::kServerList, {}, {std::string(200, 'a'), std::string(200, 'b')});
    {
        // The system refuses every byte past the first 16 of any file we write.
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.Active());
        h.w().DispatchRecord(longer);
    }
    EXPECT_EQ(ServerListBytes(h), old);
    EXPECT_TRUE(h.Display().isEmpty()) << "a file failure is not reported";
    const QStringList left = QDir(h.install + QStringLiteral("/config")).entryList(QDir::Files);
    EXPECT_EQ(left, QStringList({"server.cfg"})) << "no half-written file stays behind";
}

TEST(ChatDispatch, DisconnectionClosesAndAJoinConnectsAgain) {
    ChatHarness h;
    PeerScript first;
    first.Send(Record(code2::kClosing)).ExpectEnd();
    PeerScript second;
    second.Send(Record(code2::kChatLine, {}, {"back again"})).Silent();
    ScriptPeer peer({first, second});
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return !h.w().m_pChatSocket->IsOpen(); }));
    EXPECT_EQ(h.Lines(), QStringList({"You are disconnected from the server!"}));
    EXPECT_TRUE(peer.WaitForFinished(1, 5s));
    EXPECT_EQ(peer.ClientCloses(), 1);

    ASSERT_TRUE(h.Join(peer));
    EXPECT_TRUE(WaitFor([&] { return h.Display().contains(QStringLiteral("back again")); }));
}

TEST(ChatDispatch, BrokenStreamReportsAndCloses) {
    ChatHarness h;
    // A record that claims more bytes than any record may hold: the stream has lost its
    // place, so what follows must not be read as records.
    std::string bytes = Encoded({Record(code2::kChatLine, {}, {"before"})});
    bytes += std::string("\xff\xff\xff\x7f\xff\xff\xff\x7f", 8) + std::string(64, '\xff');
    PeerScript s;
    s.SendRaw(bytes).ExpectEnd();
    ScriptPeer peer(s);
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return !h.w().m_pChatSocket->IsOpen(); }));
    EXPECT_EQ(h.Lines(), QStringList({"before", "Error in Connection!"}));
    EXPECT_TRUE(peer.WaitForFinished(1, 5s));
}

TEST(ChatDispatch, ServerVanishingMidRecordReportsOnce) {
    ChatHarness h;
    const std::string whole = Encoded({Record(code2::kChatLine, {}, {"cut short"})});
    PeerScript s;
    s.SendRaw(whole.substr(0, whole.size() - 3)).Close();
    ScriptPeer peer(s);
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor([&] { return !h.w().m_pChatSocket->IsOpen(); }));
    // Once closed, no notification may read on: a turn queued now comes after any
    // continuation the close left behind.
    bool laterTurn = false;
    QTimer::singleShot(0, [&laterTurn] { laterTurn = true; });
    ASSERT_TRUE(WaitFor([&] { return laterTurn; }));
    EXPECT_EQ(h.Lines(), QStringList({"Error in Connection!"}));
}

TEST(ChatDispatch, AFloodLetsTheEventLoopRun) {
    ChatHarness h;
    // Small records, so that the reader always holds the start of the next one and the
    // flood never pauses by itself at a record boundary.
    std::string bytes;
    const std::vector<std::string> ten(10, std::string(1, 'w'));
    for (int i = 0; i < 300; ++i) zorvi::AppendMsg(Record(code2::kChatLine, {}, ten), bytes);
    zorvi::AppendMsg(Record(code2::kChatLine, {}, {"last"}), bytes);
    ScriptPeer peer(SendsThenStays(bytes));

    // With no time for more than one record per turn, every record takes a turn of its own:
    // the loop runs between any two records, however fast the machine reads them.
    h.w().m_readSlice = std::chrono::milliseconds(0);
    QTextDocument* doc = h.w().m_chatDisplay->document();
    int turnsDuringFlood = 0;
    bool ended = false;
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!ended && doc->blockCount() > 1) ++turnsDuringFlood;
    });
    ticker.start();
    ASSERT_TRUE(h.Join(peer));
    ASSERT_TRUE(WaitFor(
        [&] {
            ended = doc->lastBlock().previous().text() == QStringLiteral("last");
            return ended;
        },
        60000));
    EXPECT_EQ(doc->blockCount(), 3002);
    EXPECT_GT(turnsDuringFlood, 150);
}
