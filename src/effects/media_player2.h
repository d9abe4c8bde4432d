#pragma once

#include <QMediaPlayer>
#include <QString>
#include <QWidget>

#include "app/seams.h"

class QAudioOutput;
class QVideoWidget;

// The live-show player: Qt Multimedia behind the player interface. Open starts playing
// at once, as the show is meant to. An ".asx" file is read here (Qt cannot) and its first
// reference is played instead.
class CMediaPlayer2 : public QWidget, public IMediaPlayer {
    Q_OBJECT

public:
    // Open status values; 0 is success, anything else a failure.
    enum Status {
        kOpened = 0,
        kBadAddress = 1,   // not a playable address
        kMissingFile = 2,  // a local file that does not exist or is no regular file
        kBadPlaylist = 3,  // unreadable playlist, bad XML or no reference in it
        kMediaError = 4,   // the media itself failed after opening
    };

    explicit CMediaPlayer2(QWidget* parent = nullptr);
    ~CMediaPlayer2() override;

    void Play() override;
    void Pause() override;
    void Stop() override;
    void Open(const QString& addressOrFile) override;
    int OpenStatus() const override { return status_; }

    QMediaPlayer::MediaStatus MediaStatus() const;
    QMediaPlayer::PlaybackState PlaybackState() const;
    // What the last Open handed to the player (the playlist's reference for a playlist).
    QUrl Source() const;

signals:
    // The open status changed after Open returned (a media error arrived).
    void openStatusChanged(int status);

private:
    void OnError(QMediaPlayer::Error error, const QString& text);
    void OnMediaStatus(QMediaPlayer::MediaStatus status);
    void Fail(Status status);

    QMediaPlayer* player_;
    QAudioOutput* audio_;
    QVideoWidget* video_;
    int status_ = kOpened;
};
