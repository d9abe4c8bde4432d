#include "app/endpoints.h"

#include "app/settings_store.h"

namespace {

void Override(QString& value, const std::optional<QString>& configured) {
    if (configured) value = *configured;
}

void OverrideFromEnvironment(QString& value, const char* variable) {
    const QString v = qEnvironmentVariable(variable);
    if (!v.isEmpty()) value = v;
}

void OverridePort(int& port, const std::optional<QString>& configured) {
    if (!configured) return;
    bool ok = false;
    const int p = configured->trimmed().toInt(&ok);
    if (ok && p > 0 && p <= 65535) port = p;
}

void OverrideSwitch(bool& on, const std::optional<QString>& configured) {
    if (!configured) return;
    const QString v = configured->trimmed().toLower();
    if (v == u"1" || v == u"true" || v == u"yes" || v == u"on") on = true;
    if (v == u"0" || v == u"false" || v == u"no" || v == u"off") on = false;
}

}  // namespace

Endpoints Endpoints::Load(const SettingsStore& settings) {
    Endpoints e;
    Override(e.loginHost, settings.ReadEndpoint(QStringLiteral("loginHost")));
    Override(e.chatHost, settings.ReadEndpoint(QStringLiteral("chatHost")));
    Override(e.webUrl, settings.ReadEndpoint(QStringLiteral("webUrl")));
    Override(e.siblingUrl, settings.ReadEndpoint(QStringLiteral("siblingUrl")));
    OverridePort(e.loginPort, settings.ReadEndpoint(QStringLiteral("loginPort")));
    OverridePort(e.servicePort, settings.ReadEndpoint(QStringLiteral("servicePort")));
    OverrideSwitch(e.tls, settings.ReadEndpoint(QStringLiteral("tls")));
    Override(e.caFile, settings.ReadEndpoint(QStringLiteral("caFile")));

    OverrideFromEnvironment(e.loginHost, "KESTRIVAN_LOGIN_HOST");
    OverrideFromEnvironment(e.chatHost, "KESTRIVAN_CHAT_HOST");
    OverrideFromEnvironment(e.webUrl, "KESTRIVAN_WEB_URL");
    OverrideFromEnvironment(e.siblingUrl, "KESTRIVAN_SIBLING_URL");
    const QString loginPort = qEnvironmentVariable("KESTRIVAN_LOGIN_PORT");
    if (!loginPort.isEmpty()) OverridePort(e.loginPort, loginPort);
    const QString servicePort = qEnvironmentVariable("KESTRIVAN_SERVICE_PORT");
    if (!servicePort.isEmpty()) OverridePort(e.servicePort, servicePort);
    const QString tls = qEnvironmentVariable("KESTRIVAN_TLS");
    if (!tls.isEmpty()) OverrideSwitch(e.tls, tls);
    OverrideFromEnvironment(e.caFile, "KESTRIVAN_CA_FILE");

    // Addresses are joined with page paths; a trailing slash would double it.
    while (e.webUrl.endsWith(QLatin1Char('/'))) e.webUrl.chop(1);
    return e;
}
