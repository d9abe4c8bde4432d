#pragma once

#include <QWebEnginePage>

// A page that only ever goes to web pages: links, redirects, frames and script may not
// take it to local files or other schemes, and it opens no new windows.
class GuardedWebPage : public QWebEnginePage {
    Q_OBJECT

public:
    GuardedWebPage(QWebEngineProfile* profile, QObject* parent);

    static bool IsAllowedNavigation(const QUrl& url);

signals:
    void navigationRefused(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
};
