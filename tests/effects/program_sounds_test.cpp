#include "effects/program_sounds.h"

#include <gtest/gtest.h>

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>

#include "effects/qt_sound_player.h"
#include "effects/wave_info.h"

namespace {

struct Expected {
    ProgramSound sound;
    int channels;
    int rate;
    int lengthMs;
};

const Expected kTable[] = {
    {ProgramSound::Welcome, 2, 22050, 4670},       {ProgramSound::Goodbye, 2, 22050, 4240},
    {ProgramSound::PrivateMessage, 1, 22255, 290}, {ProgramSound::Beep, 1, 22255, 250},
    {ProgramSound::Wing, 1, 22050, 4460},
};

}  // namespace

TEST(ProgramSounds, ResourcesHaveTheirFormatsAndLengths) {
    for (const Expected& e : kTable) {
        const auto info = ReadWaveFile(ProgramSoundResource(e.sound));
        ASSERT_TRUE(info.has_value()) << int(e.sound);
        EXPECT_EQ(info->formatTag, 1) << int(e.sound);
        EXPECT_EQ(info->bitsPerSample, 8) << int(e.sound);
        EXPECT_EQ(info->channels, e.channels) << int(e.sound);
        EXPECT_EQ(info->sampleRate, e.rate) << int(e.sound);
        EXPECT_NEAR(double(info->DurationMs()), double(e.lengthMs), 10.0) << int(e.sound);
    }
}

TEST(ProgramSounds, WaveReaderRefusesDamagedFiles) {
    EXPECT_FALSE(ReadWaveInfo("").has_value());
    EXPECT_FALSE(ReadWaveInfo("RIFF\x10\0\0\0WAVE").has_value());  // no chunks
    QByteArray noFormat("RIFF\x0c\0\0\0WAVEdata\x04\0\0\0abcd", 24);
    EXPECT_FALSE(ReadWaveInfo(noFormat).has_value());
    QByteArray shortFormat("RIFF\x14\0\0\0WAVEfmt \x08\0\0\0\x01\0\x01\0", 24);
    EXPECT_FALSE(ReadWaveInfo(shortFormat).has_value());

    // A data chunk longer than the file counts only what is there.
    QFile file(ProgramSoundResource(ProgramSound::Beep));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    const auto full = ReadWaveInfo(whole);
    const auto cut = ReadWaveInfo(whole.left(whole.size() / 2));
    ASSERT_TRUE(full && cut);
    EXPECT_LT(cut->dataBytes, full->dataBytes);
    EXPECT_GT(cut->dataBytes, 0);
}

TEST(ProgramSounds, PlayerKnowsTheLengthsAndWaitsOnlyWhenAsked) {
    QtSoundPlayer player;
    for (const Expected& e : kTable)
        EXPECT_NEAR(double(player.LengthMs(e.sound)), double(e.lengthMs), 10.0);

    // Without an audio device nothing plays and nothing claims to.
    const bool device = !QMediaDevices::audioOutputs().isEmpty();
    player.Play(ProgramSound::Wing, false);
    EXPECT_EQ(player.LastPlayStarted(), device);
    if (device) {
        // The wing sound lasts over four seconds: a play that returned only after it
        // ended would leave nothing playing.
        EXPECT_TRUE(player.IsPlaying(ProgramSound::Wing)) << "the play without waiting waited";
    } else {
        EXPECT_FALSE(player.IsPlaying(ProgramSound::Wing));
    }

    // Waiting returns with the sound over, and the new sound cut the old one off.
    player.Play(ProgramSound::Beep, true);
    EXPECT_EQ(player.LastPlayStarted(), device);
    EXPECT_FALSE(player.IsPlaying(ProgramSound::Beep));
    EXPECT_FALSE(player.IsPlaying(ProgramSound::Wing));
}
