#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "effects/media_address.h"
#include "effects/media_player2.h"
#include "tiny_http_server.h"

namespace {

// One second of moving test pattern, Ogg Theora without sound, so that it plays the
// same on a machine without an audio device. Empty when it cannot be made.
QByteArray Clip(const QString& path) {
    QProcess gst;
    gst.start(
        QStringLiteral("gst-launch-1.0"),
        {QStringLiteral("-q"), QStringLiteral("videotestsrc"), QStringLiteral("num-buffers=25"),
         QStringLiteral("pattern=ball"), QStringLiteral("!"),
         QStringLiteral("video/x-raw,width=160,height=120,framerate=25/1"), QStringLiteral("!"),
         QStringLiteral("theoraenc"), QStringLiteral("!"), QStringLiteral("oggmux"),
         QStringLiteral("!"), QStringLiteral("filesink"), QStringLiteral("location=") + path});
    if (!gst.waitForFinished(60000) || gst.exitStatus() != QProcess::NormalExit ||
        gst.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Played to its end, or failed. Loaded or buffered media is not yet an outcome, and the
// playing state is set the moment play is asked for.
bool Finished(const CMediaPlayer2& p) {
    return p.MediaStatus() == QMediaPlayer::EndOfMedia || p.OpenStatus() != 0;
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

TEST(MediaPlayer, PlaysAFileAndAPlaylistOverHttpToTheEnd) {
    QTemporaryDir dir;
    const QByteArray clip = Clip(dir.filePath(QStringLiteral("clip.ogg")));
    ASSERT_GT(clip.size(), 1000) << "gst-launch-1.0 could not make the test clip";
    const QString file = dir.filePath(QStringLiteral("clip.ogg"));

    CMediaPlayer2 player;
    player.Open(file);
    EXPECT_EQ(player.OpenStatus(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished(player); }, 20000))
        << "the file neither played through nor failed";
    EXPECT_EQ(player.OpenStatus(), 0) << "the file did not play";
    EXPECT_EQ(player.MediaStatus(), QMediaPlayer::EndOfMedia);

    TinyHttpServer http;
    http.Serve(QStringLiteral("/live/show.ogg"), "video/ogg", clip);
    const QString playlist = dir.filePath(QStringLiteral("Zorvi.asx"));
    ASSERT_TRUE(WriteFile(
        playlist, "<ASX version = \"3.0\"><Base href=\"" +
                      http.Url(QStringLiteral("/live/")).toUtf8() +
                      "\" /><Repeat><Entry><Ref href = \"show.ogg\" /></Entry></Repeat></ASX>"));
    // A player of its own: the first one's end must not count for the stream.
    CMediaPlayer2 stream;
    stream.Open(playlist);
    EXPECT_EQ(stream.Source(), QUrl(http.Url(QStringLiteral("/live/show.ogg"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Finished(stream); }, 20000))
        << "the stream neither played through nor failed";
    EXPECT_EQ(stream.OpenStatus(), 0) << "the stream did not play";
    EXPECT_EQ(stream.MediaStatus(), QMediaPlayer::EndOfMedia);
    EXPECT_GE(http.Requests(), 1);
}
