#include "effects/guarded_web_page.h"

#include <QSslCertificate>
#include <QUrl>
#include <QWebEngineCertificateError>

GuardedWebPage::GuardedWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent) {
    connect(this, &QWebEnginePage::certificateError, this,
            [this](const QWebEngineCertificateError& error) {
                QWebEngineCertificateError answer = error;
                if (Accepts(answer, trust_)) {
                    answer.acceptCertificate();
                } else {
                    answer.rejectCertificate();
                }
            });
}

bool GuardedWebPage::Accepts(const QWebEngineCertificateError& error,
                             const zorvi::TlsSettings& trust) {
    // Only an issuer unknown to the engine can be made good by the configured CA; an
    // expired, misnamed or revoked certificate stays refused.
    if (!error.isOverridable() ||
        error.type() != QWebEngineCertificateError::CertificateAuthorityInvalid ||
        trust.caFile.empty())
        return false;
    std::vector<std::string> chain;
    for (const QSslCertificate& cert : error.certificateChain()) {
        const QByteArray der = cert.toDer();
        chain.emplace_back(der.constData(), static_cast<std::size_t>(der.size()));
    }
    return zorvi::VerifyCertificateChain(chain, error.url().host().toStdString(), trust).empty();
}

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
