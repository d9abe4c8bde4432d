#include <QDir>
#include <QFile>
#include <QSettings>

#include "effect_fixture.h"
#include "effects/asx_reader.h"
#include "effects/effect_texts.h"
#include "effects/live_show_playlist.h"
#include "net/protocol.h"

namespace texts = effect_texts;

namespace {

const std::string kHead =
    "<ASX version = \"3.0\"><TITLE>Zorvi-Live Show</TITLE><AUTHOR>Marquent</AUTHOR>"
    "<COPYRIGHT>Marquent Zorvi</COPYRIGHT>";
const std::string kClip = "http://127.0.0.1:8080/live/show.wav";

std::string Tail(const std::string& ref) {
    return "<Repeat><Entry><Ref href = \"" + ref + "\" /></Entry></Repeat></ASX>";
}

QByteArray Bytes(const std::string& s) { return QByteArray::fromStdString(s); }

CMsg LiveShow(int code2, const std::string& address, std::vector<std::string> list = {}) {
    CMsg msg(code1::kUserAction, code2);
    msg.text = address;
    msg.list = std::move(list);
    return msg;
}

}  // namespace

TEST(LiveShowPlaylist, PiecesFollowTheListLength) {
    EXPECT_EQ(BuildLiveShowPlaylist(kClip, {}), Bytes(kHead + Tail(kClip)));

    const std::string info = "http://127.0.0.1:8080/live/";
    const std::string links = "<Base href=\"" + info + "\" /><MoreInfo href = \"" + info + "\" />";
    EXPECT_EQ(BuildLiveShowPlaylist(kClip, {info}), Bytes(kHead + links + Tail(kClip)));

    EXPECT_EQ(BuildLiveShowPlaylist(kClip, {info, "Tonight band"}),
              Bytes(kHead + links + "<Abstract>Tonight band</Abstract>" + Tail(kClip)));
    // Entries beyond the second are not used.
    EXPECT_EQ(BuildLiveShowPlaylist(kClip, {info, "Tonight band", "ignored"}),
              BuildLiveShowPlaylist(kClip, {info, "Tonight band"}));
}

TEST(LiveShowPlaylist, ServerTextIsEscapedAndCannotInject) {
    const std::string address = "http://h/a?x=1&y=\"2\"><Ref href=\"http://evil/";
    const std::string link = "http://h/\" /><Ref href=\"http://evil/x";
    const std::string abstract = "</Abstract><Entry><Ref href = 'http://evil/'/></Entry><Abstract>";
    const QByteArray file = BuildLiveShowPlaylist(address, {link, abstract});

    const std::string escapedAddress =
        "http://h/a?x=1&amp;y=&quot;2&quot;&gt;&lt;Ref href=&quot;http://evil/";
    const std::string escapedLink = "http://h/&quot; /&gt;&lt;Ref href=&quot;http://evil/x";
    const std::string escapedAbstract =
        "&lt;/Abstract&gt;&lt;Entry&gt;&lt;Ref href = "
        "&apos;http://evil/&apos;/&gt;&lt;/Entry&gt;&lt;Abstract&gt;";
    EXPECT_EQ(file, Bytes(kHead + "<Base href=\"" + escapedLink + "\" /><MoreInfo href = \"" +
                          escapedLink + "\" /><Abstract>" + escapedAbstract + "</Abstract>" +
                          Tail(escapedAddress)));

    // Read back with a real parser, the reference is the server's address, whole.
    const AsxReference ref = ReadAsxReference(file);
    ASSERT_TRUE(ref.ok) << ref.error.toStdString();
    EXPECT_EQ(ref.href, QString::fromStdString(address));
}

TEST(AsxReader, RefusesWhatIsNotAPlaylistWithAReference) {
    EXPECT_FALSE(ReadAsxReference("").ok);
    EXPECT_FALSE(ReadAsxReference("<ASX version=\"3.0\"><Entry><Ref href=\"http://h/a\" /></Entry>")
                     .ok);  // unclosed
    EXPECT_FALSE(ReadAsxReference("<html><Entry><Ref href=\"http://h/a\"/></Entry></html>").ok);
    EXPECT_FALSE(ReadAsxReference("<ASX><Entry></Entry></ASX>").ok);
    EXPECT_FALSE(
        ReadAsxReference("<ASX><Ref href=\"http://h/outside\"/></ASX>").ok);  // not in an entry
    EXPECT_FALSE(
        ReadAsxReference("<ASX><Entry><Ref href=\"http://h/a\"/></Entry></ASX><junk/>").ok);

    // Names in any case; the first reference wins; relative references follow the base.
    const AsxReference mixed = ReadAsxReference(
        "<asx VERSION=\"3.0\"><BASE HREF=\"http://h/show/\"/><entry><REF HREF=\"clip.wav\"/>"
        "<ref href=\"second.wav\"/></entry></asx>");
    ASSERT_TRUE(mixed.ok);
    EXPECT_EQ(mixed.href, QStringLiteral("http://h/show/clip.wav"));
}

TEST(LiveShowPlaylist, WriteReportsCreationAndWriteFailures) {
    QTemporaryDir dir;
    EXPECT_EQ(WritePlaylistFile(dir.filePath(QStringLiteral("missing/Zorvi.asx")), "x"),
              PlaylistWrite::NotCreated);
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        EXPECT_EQ(WritePlaylistFile(QStringLiteral("/dev/full"), QByteArray(8192, 'x')),
                  PlaylistWrite::WriteFailed);
    }
    const QString path = dir.filePath(QStringLiteral("Zorvi.asx"));
    ASSERT_EQ(WritePlaylistFile(path, "first, longer content"), PlaylistWrite::Written);
    ASSERT_EQ(WritePlaylistFile(path, "second"), PlaylistWrite::Written);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second"));
}

class LiveShowFixture : public EffectFixture {
protected:
    LiveShowFixture() {
        QSettings machine(tw.settings->machineFile(), QSettings::IniFormat);
        machine.setValue(QStringLiteral("1.1b/Path"), install.path());
        machine.sync();
    }
    QByteArray Playlist() const {
        QFile file(install.filePath(QStringLiteral("Zorvi.asx")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir install;
};

TEST_F(LiveShowFixture, AddressOpensDirectlyWithWingAndSound) {
    w().SetSoundOn(true);
    CMsg msg = LiveShow(code2::kLiveShowStart, kClip);
    w().DispatchRecord(msg);
    EXPECT_EQ(w().mediaAddress(), QString::fromStdString(kClip));
    EXPECT_EQ(tw.media.calls,
              QStringList({QStringLiteral("Stop"),
                           QStringLiteral("Open ") + QString::fromStdString(kClip)}));
    EXPECT_EQ(tw.skin.commands, QStringList{texts::ShowMediaWing()});
    ASSERT_EQ(tw.sounds.played.size(), 1u);
    EXPECT_EQ(tw.sounds.played[0], std::make_pair(ProgramSound::Wing, false));
    EXPECT_TRUE(tw.box.shown.isEmpty());

    // The player refuses it: the message, and the player is stopped.
    tw.media.calls.clear();
    tw.media.openStatus = 3;
    ops.LiveShowByAddress(LiveShow(code2::kLiveShowStart, "rtsp://127.0.0.1/nothing"));
    EXPECT_EQ(tw.box.shown, QStringList{texts::MediaAddressError()});
    EXPECT_EQ(tw.media.calls.last(), QStringLiteral("Stop"));
    EXPECT_EQ(w().mediaAddress(), QStringLiteral("rtsp://127.0.0.1/nothing"));
}

TEST_F(LiveShowFixture, EmptyAddressStillChecksTheOpenStatus) {
    w().SetSoundOn(true);
    w().SetMediaAddress(QStringLiteral("http://old/"));
    ops.LiveShowByAddress(LiveShow(code2::kLiveShowStart, ""));
    EXPECT_TRUE(w().mediaAddress().isEmpty());
    EXPECT_EQ(tw.media.calls, QStringList{QStringLiteral("Stop")});
    EXPECT_TRUE(tw.skin.commands.isEmpty());
    EXPECT_TRUE(tw.sounds.played.empty());
    EXPECT_TRUE(tw.box.shown.isEmpty());

    tw.media.openStatus = 1;
    ops.LiveShowByAddress(LiveShow(code2::kLiveShowStart, ""));
    EXPECT_EQ(tw.box.shown, QStringList{texts::MediaAddressError()});
    EXPECT_EQ(tw.media.calls, QStringList({QStringLiteral("Stop"), QStringLiteral("Stop"),
                                           QStringLiteral("Stop")}));
}

TEST_F(LiveShowFixture, PlaylistIsWrittenAndOpenedQuietly) {
    w().SetSoundOn(true);
    const std::string info = "http://127.0.0.1:8080/live/";
    CMsg msg = LiveShow(code2::kLiveShowPlaylist, kClip, {info, "Band"});
    w().DispatchRecord(msg);
    const QString path = install.filePath(QStringLiteral("Zorvi.asx"));
    EXPECT_EQ(Playlist(), BuildLiveShowPlaylist(kClip, {info, "Band"}));
    EXPECT_EQ(tw.media.calls,
              QStringList({QStringLiteral("Stop"), QStringLiteral("Open ") + path}));
    // Neither the media wing nor the wing sound.
    EXPECT_TRUE(tw.skin.commands.isEmpty());
    EXPECT_TRUE(tw.sounds.played.empty());
    EXPECT_TRUE(tw.box.shown.isEmpty());

    // The next one overwrites the file whole.
    ops.LiveShowByPlaylist(LiveShow(code2::kLiveShowPlaylist, "http://127.0.0.1:8080/b.wav"));
    EXPECT_EQ(Playlist(), BuildLiveShowPlaylist("http://127.0.0.1:8080/b.wav", {}));
    EXPECT_EQ(w().mediaAddress(), QStringLiteral("http://127.0.0.1:8080/b.wav"));

    tw.media.openStatus = 2;
    tw.media.calls.clear();
    ops.LiveShowByPlaylist(LiveShow(code2::kLiveShowPlaylist, kClip));
    EXPECT_EQ(tw.box.shown, QStringList{texts::MediaAddressError()});
    EXPECT_EQ(tw.media.calls, QStringList({QStringLiteral("Stop"), QStringLiteral("Open ") + path,
                                           QStringLiteral("Stop")}));
}

TEST_F(LiveShowFixture, EmptyPlaylistAddressWritesNothing) {
    ops.LiveShowByPlaylist(LiveShow(code2::kLiveShowPlaylist, "", {"http://127.0.0.1/"}));
    EXPECT_EQ(tw.box.shown, QStringList{texts::MediaAddressError()});
    EXPECT_EQ(tw.media.calls, QStringList({QStringLiteral("Stop"), QStringLiteral("Stop")}));
    EXPECT_FALSE(QFile::exists(install.filePath(QStringLiteral("Zorvi.asx"))));
}
