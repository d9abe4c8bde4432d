#include "effects/wave_info.h"

#include <QFile>
#include <QtEndian>

namespace {

quint32 U32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(b.constData() + at));
}
quint16 U16(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint16>(reinterpret_cast<const uchar*>(b.constData() + at));
}

}  // namespace

qint64 WaveInfo::DurationMs() const {
    const qint64 bytesPerSecond = qint64(sampleRate) * channels * ((bitsPerSample + 7) / 8);
    return bytesPerSecond > 0 ? dataBytes * 1000 / bytesPerSecond : 0;
}

std::optional<WaveInfo> ReadWaveInfo(const QByteArray& b) {
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE") return std::nullopt;
    WaveInfo info;
    bool haveFormat = false;
    qsizetype at = 12;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const qint64 size = U32(b, at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt ") {
            if (size < 16 || body + 16 > b.size()) return std::nullopt;
            info.formatTag = U16(b, body);
            info.channels = U16(b, body + 2);
            info.sampleRate = int(U32(b, body + 4));
            info.bitsPerSample = U16(b, body + 14);
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) return std::nullopt;
            // A truncated file plays only what it holds.
            info.dataBytes = qMin<qint64>(size, b.size() - body);
            return info;
        }
        at = body + qsizetype(size) + (size & 1);  // chunks are padded to even lengths
    }
    return std::nullopt;
}

std::optional<WaveInfo> ReadWaveFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return ReadWaveInfo(file.readAll());
}
