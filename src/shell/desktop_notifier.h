#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>

#include "shell/notifier_seam.h"

// Notifications through the desktop's notification service (org.freedesktop.Notifications)
// on the session bus. Calls never block: a desktop without a session bus or without the
// service simply shows nothing, which is logged once.
class DesktopNotifier : public QObject, public INotifier {
    Q_OBJECT

public:
    explicit DesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(),
                             QObject* parent = nullptr);

    void Notify(const QString& summary, const QString& body) override;
    void SetActivationHandler(std::function<void()> handler) override {
        activated_ = std::move(handler);
    }

    // False once the bus or the service turned out to be missing.
    bool reachable() const { return reachable_; }
    // The service has said whether it reads markup in the body.
    bool capabilitiesKnown() const { return capabilitiesKnown_; }

private slots:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    void Unreachable(const QString& why);

    QDBusConnection bus_;
    std::function<void()> activated_;
    QSet<uint> shown_;
    // Until the service says otherwise it may read the body as markup: the body is escaped.
    bool bodyMarkup_ = true;
    bool reachable_ = true;
    bool capabilitiesKnown_ = false;
};
