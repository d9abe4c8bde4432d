#include "shell/automation_factory.h"

#include <QDBusMessage>

#include "chat/kestrivan_dlg.h"
#include "shell/automation_names.h"
#include "shell/kestrivan_dlg_auto_proxy.h"

AutomationFactory::AutomationFactory(QObject* parent)
    : QObject(parent), bus_(QStringLiteral("kestrivan-no-bus")) {}

AutomationFactory::~AutomationFactory() {
    if (bus_.isConnected()) {
        bus_.unregisterObject(QString::fromLatin1(automation_names::kProxyPath));
        bus_.unregisterObject(QString::fromLatin1(automation_names::kFactoryPath));
    }
    proxy_.reset();
}

bool AutomationFactory::Register(const QDBusConnection& bus) {
    if (!bus.isConnected()) return false;
    bus_ = bus;
    // The object first, then the name: a client whose request started the program is
    // answered as soon as the name appears.
    if (!bus_.registerObject(QString::fromLatin1(automation_names::kFactoryPath), this,
                             QDBusConnection::ExportScriptableSlots))
        return false;
    return bus_.registerService(QString::fromLatin1(automation_names::kService));
}

void AutomationFactory::AttachWindow(CKestrivanDlg* window) {
    window_ = window;
    if (proxy_) proxy_->AttachWindow(window);
}

bool AutomationFactory::Create(const QString& client) {
    if (served_) return false;
    served_ = true;
    proxy_ = std::make_unique<CKestrivanDlgAutoProxy>(window_.data(), client, bus_);
    // The proxy is destroyed after the call that released it has returned.
    connect(proxy_.get(), &CKestrivanDlgAutoProxy::releaseRequested, this,
            &AutomationFactory::DestroyProxy, Qt::QueuedConnection);
    if (bus_.isConnected())
        bus_.registerObject(QString::fromLatin1(automation_names::kProxyPath), proxy_.get(),
                            QDBusConnection::ExportScriptableSlots);
    return true;
}

QDBusObjectPath AutomationFactory::CreateObject() {
    const QString client = calledFromDBus() ? message().service() : QString();
    if (!Create(client)) {
        if (calledFromDBus())
            sendErrorReply(
                QString::fromLatin1(automation_names::kRefusedError),
                QStringLiteral("This copy of the program has already served its client."));
        return {};
    }
    return QDBusObjectPath(QString::fromLatin1(automation_names::kProxyPath));
}

void AutomationFactory::DestroyProxy() {
    if (!proxy_) return;
    if (bus_.isConnected())
        bus_.unregisterObject(QString::fromLatin1(automation_names::kProxyPath));
    proxy_.reset();
    emit released();
}
