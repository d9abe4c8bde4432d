#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "effects/media_address.h"
#include "effects/media_player2.h"
#include "effects/program_sounds.h"
#include "tiny_http_server.h"

namespace {

QByteArray Clip() {
    QFile file(ProgramSoundResource(ProgramSound::Welcome));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool Played(const CMediaPlayer2& p) {
    return p.OpenStatus() == 0 && (p.MediaStatus() == QMediaPlayer::BufferedMedia ||
                                   p.MediaStatus() == QMediaPlayer::BufferingMedia ||
                                   p.MediaStatus() == QMediaPlayer::EndOfMedia);
}

// Without an audio device the backend may refuse the media; either way the player must
// come to a clear state rather than hang. Loaded media is not yet an outcome: playback
// begins after it. (The playing state alone says nothing either: it is set the moment
// play is asked for.)
bool Settled(const CMediaPlayer2& p) {
    return Played(p) || p.OpenStatus() != 0;  // playing or played, else invalid media or an error
}

}  // namespace

TEST(MediaAddress, AcceptsStreamsAndRegularFilesOnly) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("clip.wav"));
    ASSERT_TRUE(WriteFile(file, "RIFF"));

    EXPECT_EQ(ClassifyMediaAddress(QStringLiteral("http://127.0.0.1/a.wav")).kind,
              MediaAddress::kNetwork);
    EXPECT_EQ(ClassifyMediaAddress(QStringLiteral("https://h/a")).kind, MediaAddress::kNetwork);
    EXPECT_EQ(ClassifyMediaAddress(QStringLiteral("rtsp://h/live")).kind, MediaAddress::kNetwork);
    EXPECT_EQ(ClassifyMediaAddress(file).kind, MediaAddress::kLocalFile);
    EXPECT_EQ(ClassifyMediaAddress(QUrl::fromLocalFile(file).toString()).kind,
              MediaAddress::kLocalFile);
    EXPECT_EQ(ClassifyMediaAddress(dir.filePath(QStringLiteral("none.wav"))).kind,
              MediaAddress::kMissingFile);
    for (const QString& bad :
         {QString(), QStringLiteral("   "), QStringLiteral("ftp://h/a.wav"),
          QStringLiteral("javascript:x"), QStringLiteral("http:///a"), QStringLiteral("clip.wav"),
          dir.path(), QStringLiteral("/dev/zero"), QStringLiteral("file://server/share/a.wav")}) {
        EXPECT_EQ(ClassifyMediaAddress(bad).kind, MediaAddress::kInvalid) << bad.toStdString();
    }
}

TEST(MediaPlayer, OpenStatusIsKnownAtOnceForWhatCanBeChecked) {
    QTemporaryDir dir;
    CMediaPlayer2 player;
    player.Open(QString());
    EXPECT_EQ(player.OpenStatus(), CMediaPlayer2::kBadAddress);
    player.Open(QStringLiteral("mms://127.0.0.1/show"));
    EXPECT_EQ(player.OpenStatus(), CMediaPlayer2::kBadAddress);
    player.Open(dir.filePath(QStringLiteral("missing.wav")));
    EXPECT_EQ(player.OpenStatus(), CMediaPlayer2::kMissingFile);

    const QString broken = dir.filePath(QStringLiteral("broken.asx"));
    ASSERT_TRUE(WriteFile(broken, "<ASX version = \"3.0\"><Entry><Ref href = \"http://h/a\" />"));
    player.Open(broken);
    EXPECT_EQ(player.OpenStatus(), CMediaPlayer2::kBadPlaylist);

    const QString local = dir.filePath(QStringLiteral("Zorvi.asx"));
    ASSERT_TRUE(WriteFile(
        local, "<ASX><Entry><Ref href = \"file:///etc/../etc/hostname.asx\" /></Entry></ASX>"));
    player.Open(local);
    EXPECT_NE(player.OpenStatus(), 0);

    ASSERT_TRUE(
        WriteFile(local, "<ASX><Entry><Ref href = \"ftp://127.0.0.1/a.wav\" /></Entry></ASX>"));
    player.Open(local);
    EXPECT_EQ(player.OpenStatus(), CMediaPlayer2::kBadAddress);
    EXPECT_TRUE(player.Source().isEmpty());

    // A good playlist clears the earlier failure and hands its reference to the player.
    ASSERT_TRUE(
        WriteFile(local, "<ASX><Entry><Ref href = \"http://127.0.0.1:1/a.wav\" /></Entry></ASX>"));
    player.Open(local);
    EXPECT_EQ(player.Source(), QUrl(QStringLiteral("http://127.0.0.1:1/a.wav")));
    player.Stop();
}

TEST(MediaPlayer, PlaysAFileAndAPlaylistOverHttp) {
    const QByteArray clip = Clip();
    ASSERT_GT(clip.size(), 1000);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("clip.wav"));
    ASSERT_TRUE(WriteFile(file, clip));

    CMediaPlayer2 player;
    player.Open(file);
    EXPECT_EQ(player.OpenStatus(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Settled(player); }, 15000));
    const bool fileWorks = Played(player);

    TinyHttpServer http;
    http.Serve(QStringLiteral("/live/show.wav"), "audio/wav", clip);
    const QString playlist = dir.filePath(QStringLiteral("Zorvi.asx"));
    ASSERT_TRUE(WriteFile(
        playlist, "<ASX version = \"3.0\"><Base href=\"" +
                      http.Url(QStringLiteral("/live/")).toUtf8() +
                      "\" /><Repeat><Entry><Ref href = \"show.wav\" /></Entry></Repeat></ASX>"));
    player.Open(playlist);
    EXPECT_EQ(player.Source(), QUrl(http.Url(QStringLiteral("/live/show.wav"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Settled(player); }, 15000));
    EXPECT_GE(http.Requests(), 1);
    // Whatever the machine's audio, the same clip behaves the same by file and by network.
    EXPECT_EQ(Played(player), fileWorks);
    player.Stop();
}
