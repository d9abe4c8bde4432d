#include "shell/desktop_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A service that does not answer within this long is taken as absent.
constexpr int kCallTimeoutMs = 5000;

QDBusMessage Call(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
}

}  // namespace

DesktopNotifier::DesktopNotifier(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    if (!bus_.isConnected()) {
        Unreachable(QStringLiteral("no session bus"));
        return;
    }
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(onActionInvoked(uint, QString)));
    bus_.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(onNotificationClosed(uint, uint)));
    auto* watcher = new QDBusPendingCallWatcher(
        bus_.asyncCall(Call(QStringLiteral("GetCapabilities")), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        if (!reply.isError()) {
            bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
            capabilitiesKnown_ = true;
        }
        w->deleteLater();
    });
}

void DesktopNotifier::Notify(const QString& summary, const QString& body) {
    if (!bus_.isConnected()) return;
    QDBusMessage call = Call(QStringLiteral("Notify"));
    // Names and lines come from the network: never let the service read them as markup.
    const QString shownBody = bodyMarkup_ ? body.toHtmlEscaped() : body;
    call << QStringLiteral("Kestrivan") << uint(0) << QStringLiteral("kestrivan") << summary
         << shownBody << QStringList{QStringLiteral("default"), QStringLiteral("Show")}
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("kestrivan")}} << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            Unreachable(reply.error().message());
        else
            shown_.insert(reply.value());
        w->deleteLater();
    });
}

void DesktopNotifier::onActionInvoked(uint id, const QString& actionKey) {
    // The service tells every client of every notification; only ours count.
    if (!shown_.contains(id) || actionKey != QLatin1String("default")) return;
    if (activated_) activated_();
}

void DesktopNotifier::onNotificationClosed(uint id, uint) { shown_.remove(id); }

void DesktopNotifier::Unreachable(const QString& why) {
    if (reachable_) qInfo("Desktop notifications are not available: %s", qPrintable(why));
    reachable_ = false;
}
