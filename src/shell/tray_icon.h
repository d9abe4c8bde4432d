#pragma once

#include <QObject>
#include <QSystemTrayIcon>

#include "shell/tray_icon_seam.h"

// The notification-area icon over QSystemTrayIcon.
class TrayIcon : public QObject, public ITrayIcon {
    Q_OBJECT

public:
    explicit TrayIcon(QObject* parent = nullptr);

    bool available() const override;
    void show(int id, const QIcon& icon, const QString& tip) override;
    void hide() override;
    bool isShown() const override;
    int menu(const QStringList& items, const QPoint& pos) override;
    void setNotifyHandler(NotifyHandler handler) override { handler_ = std::move(handler); }

    static Event EventFor(QSystemTrayIcon::ActivationReason reason);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon icon_;
    int id_ = 0;
    NotifyHandler handler_;
};
