#include "effects/qt_sound_player.h"

#include <QAudioDevice>
#include <QEventLoop>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

#include "effects/program_sounds.h"
#include "effects/wave_info.h"

namespace {
constexpr int kWaitMarginMs = 1000;
}

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {
    for (const ProgramSound sound : kAllProgramSounds) {
        const QString resource = ProgramSoundResource(sound);
        const auto info = ReadWaveFile(resource);
        if (!info) continue;  // a missing sound is skipped silently
        Entry entry;
        entry.lengthMs = info->DurationMs();
        if (HaveAudioDevice()) {
            entry.effect = new QSoundEffect(this);
            entry.effect->setSource(QUrl(QStringLiteral("qrc") + resource));
        }
        sounds_[sound] = entry;
    }
}

QtSoundPlayer::~QtSoundPlayer() = default;

bool QtSoundPlayer::HaveAudioDevice() { return !QMediaDevices::audioOutputs().isEmpty(); }

qint64 QtSoundPlayer::LengthMs(ProgramSound sound) const {
    const auto it = sounds_.find(sound);
    return it == sounds_.end() ? 0 : it->second.lengthMs;
}

bool QtSoundPlayer::IsPlaying(ProgramSound sound) const {
    const auto it = sounds_.find(sound);
    if (it == sounds_.end() || !it->second.effect) return false;
    const QSoundEffect* effect = it->second.effect;
    return effect->isPlaying() ||
           (effect->status() == QSoundEffect::Loading && lastStarted_ && lastSound_ == sound);
}

void QtSoundPlayer::Play(ProgramSound sound, bool wait) {
    lastStarted_ = false;
    for (auto& [other, entry] : sounds_) {
        if (entry.effect && entry.effect->isPlaying()) entry.effect->stop();
    }
    const auto it = sounds_.find(sound);
    if (it == sounds_.end() || !it->second.effect) return;
    QSoundEffect* effect = it->second.effect;
    if (effect->status() == QSoundEffect::Error) return;
    // A sound still loading starts as soon as it has loaded.
    effect->play();
    lastStarted_ = true;
    lastSound_ = sound;
    if (!wait) return;

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(effect, &QSoundEffect::playingChanged, &loop, [&loop, effect] {
        if (!effect->isPlaying()) loop.quit();
    });
    connect(effect, &QSoundEffect::statusChanged, &loop, [&loop, effect] {
        if (effect->status() == QSoundEffect::Error) loop.quit();
    });
    deadline.start(int(it->second.lengthMs) + kWaitMarginMs);
    // Only what keeps the window painted: no input may start another handler meanwhile.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (effect->isPlaying()) effect->stop();
}
