#pragma once

#include <QString>

#include "net/protocol.h"

class SettingsStore;

// Where the service lives. Built-in defaults, overridden by the machine file, then the
// user file (group "endpoints": loginHost, chatHost, webUrl, siblingUrl, loginPort,
// servicePort), then KESTRIVAN_LOGIN_HOST, KESTRIVAN_CHAT_HOST, KESTRIVAN_WEB_URL,
// KESTRIVAN_SIBLING_URL, KESTRIVAN_LOGIN_PORT and KESTRIVAN_SERVICE_PORT.
struct Endpoints {
    QString loginHost = QStringLiteral("127.0.0.1");  // default login server address
    QString chatHost = QStringLiteral("localhost");   // default chat host name
    QString webUrl = QStringLiteral("http://127.0.0.1:8080");
    QString siblingUrl = QStringLiteral("http://127.0.0.1:8080/pelbrook/");
    // The protocol fixes these; tests point them at their own loopback peers.
    int loginPort = zorvi::kDefaultLoginPort;
    int servicePort = zorvi::kDefaultServicePort;

    static Endpoints Load(const SettingsStore& settings);

    // Pages of the service's web site.
    QString PortalPage() const { return webUrl + QStringLiteral("/"); }
    QString EffectCatalogue() const { return webUrl + QStringLiteral("/effect/effectlist.htm"); }
    QString RegistrationPage() const { return webUrl + QStringLiteral("/ch/user/"); }
    QString PasswordPage() const { return webUrl + QStringLiteral("/ch/query/index.asp"); }
    QString ServiceHomePage() const { return webUrl + QStringLiteral("/"); }
    QString SiblingHomePage() const { return siblingUrl; }
};
