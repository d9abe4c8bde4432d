#pragma once

#include <QObject>
#include <map>

#include "app/seams.h"

class QSoundEffect;

// Plays the program's five sounds from its own resources. One sound at a time: a new one
// cuts off the one playing. A machine without an audio device plays nothing and reports
// nothing.
class QtSoundPlayer : public QObject, public ISoundPlayer {
    Q_OBJECT

public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    // With `wait`, returns when the sound has finished, and at the latest one second after
    // its length.
    void Play(ProgramSound sound, bool wait) override;

    // The sound's length from its resource; 0 when the resource is missing.
    qint64 LengthMs(ProgramSound sound) const;
    // Whether the sound started playing on the last Play; false without an audio device.
    bool LastPlayStarted() const { return lastStarted_; }
    // Whether the sound is playing now, or loading with its play asked for.
    bool IsPlaying(ProgramSound sound) const;

private:
    struct Entry {
        QSoundEffect* effect = nullptr;
        qint64 lengthMs = 0;
    };
    static bool HaveAudioDevice();
    std::map<ProgramSound, Entry> sounds_;
    bool lastStarted_ = false;
    ProgramSound lastSound_ = ProgramSound::Welcome;
};
