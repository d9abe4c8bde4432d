#pragma once

#include <QObject>

#include "shell/attention_tracker.h"

class CKestrivanDlg;
class INotifier;
class ITrayIcon;

// Connects the attention decisions to the window: records from the chat host, the window
// becoming active again, the tray icon's tool tip with the unread count, and a notification
// that the user activates, which shows the window.
class NotificationOps : public QObject {
    Q_OBJECT

public:
    NotificationOps(CKestrivanDlg& dlg, INotifier& notifier, ITrayIcon& tray,
                    QObject* parent = nullptr);

    const AttentionTracker& tracker() const { return tracker_; }
    // Hidden, minimised or not the active window.
    bool WindowAway() const;
    void ShowWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateTipLater();

    CKestrivanDlg& dlg_;
    ITrayIcon& tray_;
    AttentionTracker tracker_;
    int shownUnread_ = 0;
    bool tipPending_ = false;
};
