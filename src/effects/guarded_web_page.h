#pragma once

#include <QWebEnginePage>

#include "net/tls_transport.h"

class QWebEngineCertificateError;

// A page that only ever goes to web pages: links, redirects, frames and script may not
// take it to local files or other schemes, and it opens no new windows. HTTPS pages are
// held to the connections' trust: a certificate the web engine does not know loads only
// when it chains to the configured CA; any other certificate error refuses the page.
class GuardedWebPage : public QWebEnginePage {
    Q_OBJECT

public:
    GuardedWebPage(QWebEngineProfile* profile, QObject* parent);

    static bool IsAllowedNavigation(const QUrl& url);
    void SetTrust(zorvi::TlsSettings trust) { trust_ = std::move(trust); }
    // Whether a certificate error may be overridden under `trust`.
    static bool Accepts(const QWebEngineCertificateError& error, const zorvi::TlsSettings& trust);

signals:
    void navigationRefused(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;

private:
    zorvi::TlsSettings trust_;
};
