#include "shell/notification_ops.h"

#include <QEvent>
#include <QTimer>

#include "chat/kestrivan_dlg.h"
#include "shell/notifier_seam.h"
#include "shell/shell_ops.h"
#include "shell/tray_icon_seam.h"

NotificationOps::NotificationOps(CKestrivanDlg& dlg, INotifier& notifier, ITrayIcon& tray,
                                 QObject* parent)
    : QObject(parent), dlg_(dlg), tray_(tray), tracker_(notifier) {
    connect(&dlg_, &CKestrivanDlg::recordArrived, this, [this](const CMsg& msg) {
        tracker_.OnRecord(msg, dlg_.nickname(), WindowAway());
        if (tracker_.unread() != shownUnread_) UpdateTipLater();
    });
    notifier.SetActivationHandler([this] { ShowWindow(); });
    dlg_.installEventFilter(this);
}

bool NotificationOps::WindowAway() const {
    return !dlg_.isVisible() || dlg_.isMinimized() || !dlg_.isActiveWindow();
}

void NotificationOps::ShowWindow() {
    dlg_.showNormal();
    dlg_.raise();
    dlg_.activateWindow();
}

bool NotificationOps::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &dlg_ && event->type() == QEvent::WindowActivate) {
        tracker_.Seen();
        if (shownUnread_ != 0) UpdateTipLater();
    }
    return false;
}

void NotificationOps::UpdateTipLater() {
    // A busy room changes the count with every record: the tip follows once per turn.
    if (tipPending_) return;
    tipPending_ = true;
    QTimer::singleShot(0, this, [this] {
        tipPending_ = false;
        shownUnread_ = tracker_.unread();
        if (tray_.isShown())
            tray_.show(ShellOps::kTrayIconId,
                       dlg_.m_hIcon.isNull() ? dlg_.windowIcon() : dlg_.m_hIcon,
                       tracker_.TrayTip());
    });
}
