#pragma once

#include <QString>

#include "net/protocol.h"
#include "net/tls_transport.h"

class SettingsStore;

// Where the service lives. Built-in defaults, overridden by the machine file, then the
// user file (group "endpoints": loginHost, chatHost, webUrl, siblingUrl, loginPort,
// servicePort, tls, caFile), then KESTRIVAN_LOGIN_HOST, KESTRIVAN_CHAT_HOST,
// KESTRIVAN_WEB_URL, KESTRIVAN_SIBLING_URL, KESTRIVAN_LOGIN_PORT, KESTRIVAN_SERVICE_PORT,
// KESTRIVAN_TLS and KESTRIVAN_CA_FILE.
struct Endpoints {
    QString loginHost = QStringLiteral("127.0.0.1");  // default login server address
    QString chatHost = QStringLiteral("localhost");   // default chat host name
    QString webUrl = QStringLiteral("http://127.0.0.1:8080");
    QString siblingUrl = QStringLiteral("http://127.0.0.1:8080/pelbrook/");
    // The protocol fixes these; tests point them at their own loopback peers.
    int loginPort = zorvi::kDefaultLoginPort;
    int servicePort = zorvi::kDefaultServicePort;
    // TLS on every connection to the service ("tls": 1/true/yes/on, or KESTRIVAN_TLS=1),
    // and a further trusted certificate besides the system's ("caFile", KESTRIVAN_CA_FILE).
    bool tls = false;
    QString caFile;

    static Endpoints Load(const SettingsStore& settings);

    // The trust every connection and web page of the service is held to.
    zorvi::TlsSettings Tls() const { return {tls, caFile.toStdString()}; }

    // Pages of the service's web site.
    QString PortalPage() const { return webUrl + QStringLiteral("/"); }
    QString EffectCatalogue() const { return webUrl + QStringLiteral("/effect/effectlist.htm"); }
    QString RegistrationPage() const { return webUrl + QStringLiteral("/ch/user/"); }
    QString PasswordPage() const { return webUrl + QStringLiteral("/ch/query/index.asp"); }
    QString ServiceHomePage() const { return webUrl + QStringLiteral("/"); }
    QString SiblingHomePage() const { return siblingUrl; }
};
