#pragma once

#include <QString>
#include <QUrl>

// Addresses that arrive from the server are loaded into a web pane only when they are
// plain web pages: anything else (file:, javascript:, data:, custom schemes) could read
// local files or run script outside any site.
inline bool IsAcceptedWebAddress(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

// The conversation line that reports a refused address.
inline QString RefusedAddressLine(const QString& address) {
    return QStringLiteral("The address was refused: ") + address;
}
