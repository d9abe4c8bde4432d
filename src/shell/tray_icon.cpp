#include "shell/tray_icon.h"

#include <QMenu>

namespace {
// The tip is held to the length the notification area has always accepted.
constexpr int kMaxTipLength = 64;
}  // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent) {
    connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
}

bool TrayIcon::available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::show(int id, const QIcon& icon, const QString& tip) {
    id_ = id;
    icon_.setIcon(icon);
    icon_.setToolTip(tip.left(kMaxTipLength - 1));
    icon_.show();
}

void TrayIcon::hide() { icon_.hide(); }

bool TrayIcon::isShown() const { return icon_.isVisible(); }

int TrayIcon::menu(const QStringList& items, const QPoint& pos) {
    QMenu popup;
    QList<QAction*> actions;
    for (const QString& item : items)
        actions << (item.isEmpty() ? popup.addSeparator() : popup.addAction(item));
    QAction* chosen = popup.exec(pos);
    return chosen ? int(actions.indexOf(chosen)) : -1;
}

ITrayIcon::Event TrayIcon::EventFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::DoubleClick:
            return Event::LeftDoubleClick;
        case QSystemTrayIcon::Context:
            return Event::RightButtonDown;
        default:
            return Event::Other;
    }
}

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason) {
    if (handler_) handler_(id_, EventFor(reason));
}
