#include "effects/media_player2.h"

#include <QAudioOutput>
#include <QVBoxLayout>
#include <QVideoWidget>

#include "effects/asx_reader.h"
#include "effects/media_address.h"

CMediaPlayer2::CMediaPlayer2(QWidget* parent)
    : QWidget(parent),
      player_(new QMediaPlayer(this)),
      audio_(new QAudioOutput(this)),
      video_(new QVideoWidget(this)) {
    setObjectName(QStringLiteral("mediaPlayer"));
    setAccessibleName(QStringLiteral("Live show"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(video_);
    player_->setAudioOutput(audio_);
    player_->setVideoOutput(video_);
    connect(player_, &QMediaPlayer::errorOccurred, this, &CMediaPlayer2::OnError);
    connect(player_, &QMediaPlayer::mediaStatusChanged, this, &CMediaPlayer2::OnMediaStatus);
}

CMediaPlayer2::~CMediaPlayer2() { player_->stop(); }

void CMediaPlayer2::Play() {
    if (!player_->source().isEmpty()) player_->play();
}

void CMediaPlayer2::Pause() { player_->pause(); }

void CMediaPlayer2::Stop() { player_->stop(); }

void CMediaPlayer2::Open(const QString& addressOrFile) {
    player_->stop();
    MediaAddress target = ClassifyMediaAddress(addressOrFile);
    if (target.kind == MediaAddress::kLocalFile && target.IsPlaylist()) {
        const AsxReference ref = ReadAsxFile(target.url.toLocalFile());
        if (!ref.ok) {
            Fail(kBadPlaylist);
            return;
        }
        target = ClassifyMediaAddress(ref.href);
        // One level only: a playlist naming a playlist goes nowhere useful.
        if (target.kind != MediaAddress::kInvalid && target.IsPlaylist()) {
            Fail(kBadPlaylist);
            return;
        }
    }
    switch (target.kind) {
        case MediaAddress::kInvalid:
            Fail(kBadAddress);
            return;
        case MediaAddress::kMissingFile:
            Fail(kMissingFile);
            return;
        case MediaAddress::kNetwork:
        case MediaAddress::kLocalFile:
            break;
    }
    status_ = kOpened;
    player_->setSource(target.url);
    player_->play();
}

QMediaPlayer::MediaStatus CMediaPlayer2::MediaStatus() const { return player_->mediaStatus(); }

QMediaPlayer::PlaybackState CMediaPlayer2::PlaybackState() const {
    return player_->playbackState();
}

QUrl CMediaPlayer2::Source() const { return player_->source(); }

void CMediaPlayer2::Fail(Status status) {
    // The previous show must not go on playing under a failed address.
    player_->setSource(QUrl());
    status_ = status;
}

void CMediaPlayer2::OnError(QMediaPlayer::Error error, const QString&) {
    if (error == QMediaPlayer::NoError || status_ != kOpened) return;
    status_ = kMediaError;
    emit openStatusChanged(status_);
}

void CMediaPlayer2::OnMediaStatus(QMediaPlayer::MediaStatus status) {
    if (status == QMediaPlayer::InvalidMedia && status_ == kOpened) {
        status_ = kMediaError;
        emit openStatusChanged(status_);
    }
}
