#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The format of a RIFF WAVE file, read from its "fmt " and "data" chunks.
struct WaveInfo {
    int formatTag = 0;  // 1 = uncompressed PCM
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    qint64 dataBytes = 0;

    qint64 DurationMs() const;
};

std::optional<WaveInfo> ReadWaveInfo(const QByteArray& bytes);
std::optional<WaveInfo> ReadWaveFile(const QString& path);
