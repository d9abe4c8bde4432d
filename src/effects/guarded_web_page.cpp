#include "effects/guarded_web_page.h"

#include <QUrl>

GuardedWebPage::GuardedWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {}

bool GuardedWebPage::IsAllowedNavigation(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    // Frames start out blank.
    return url == QUrl(QStringLiteral("about:blank"));
}

bool GuardedWebPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
    if (IsAllowedNavigation(url)) return true;
    emit navigationRefused(url);
    return false;
}
