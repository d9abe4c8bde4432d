#include "effects/asx_reader.h"

#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

// Playlists are a few hundred bytes; a larger file is not one of ours.
constexpr qint64 kMaxPlaylistBytes = 1 << 20;

bool NameIs(const QXmlStreamReader& xml, const char* name) {
    return xml.name().compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

QString Href(const QXmlStreamReader& xml) {
    for (const auto& a : xml.attributes()) {
        if (a.name().compare(QLatin1String("href"), Qt::CaseInsensitive) == 0)
            return a.value().toString();
    }
    return {};
}

AsxReference Failure(const QString& why) { return {false, {}, why}; }

}  // namespace

AsxReference ReadAsxReference(const QByteArray& content) {
    QXmlStreamReader xml(content);
    QString base;
    QString ref;
    bool inEntry = false;
    bool sawRoot = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (!sawRoot) {
                if (!NameIs(xml, "asx")) return Failure(QStringLiteral("not an ASX playlist"));
                sawRoot = true;
            } else if (NameIs(xml, "base") && base.isEmpty()) {
                base = Href(xml);
            } else if (NameIs(xml, "entry")) {
                inEntry = true;
            } else if (NameIs(xml, "ref") && inEntry && ref.isEmpty()) {
                ref = Href(xml);
            }
        } else if (xml.isEndElement() && NameIs(xml, "entry")) {
            inEntry = false;
        }
    }
    // A playlist that is not well-formed to its end is refused whole, even when a
    // reference came before the fault.
    if (xml.hasError()) return Failure(xml.errorString());
    if (!sawRoot) return Failure(QStringLiteral("empty playlist"));
    if (ref.isEmpty()) return Failure(QStringLiteral("no reference in the playlist"));
    const QUrl refUrl(ref);
    if (refUrl.isRelative() && !base.isEmpty()) {
        const QUrl baseUrl(base);
        if (baseUrl.isValid() && !baseUrl.isRelative())
            return {true, baseUrl.resolved(refUrl).toString(), {}};
    }
    return {true, ref, {}};
}

AsxReference ReadAsxFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return Failure(file.errorString());
    if (file.size() > kMaxPlaylistBytes) return Failure(QStringLiteral("playlist too large"));
    return ReadAsxReference(file.readAll());
}
