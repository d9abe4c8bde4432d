#include "shell/shell_ops.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include "chat/kestrivan_dlg.h"
#include "shell/shell_texts.h"

ShellOps::ShellOps(CKestrivanDlg& dlg, ITrayIcon& tray, ShellHooks hooks, QObject* parent)
    : QObject(parent), dlg_(dlg), tray_(tray), hooks_(std::move(hooks)) {
    CloseSteps steps;
    steps.saveTranscript = hooks_.saveTranscript;
    steps.leaveRoom = hooks_.leaveRoom;
    steps.removeRoom = hooks_.removeRoom;
    steps.removeTrayIcon = [this] { RemoveTrayIcon(); };
    steps.exitAllowed = [this] { return ExitAllowed(); };
    steps.endModalRun = [this] { dlg_.done(QDialog::Rejected); };
    close_ = std::make_unique<CloseSequence>(dlg_, std::move(steps));
    tray_.setNotifyHandler([this](int id, ITrayIcon::Event event) { OnTrayNotify(id, event); });
    // The window's set-up says when the icon belongs in the notification area.
    connect(&dlg_, &CKestrivanDlg::trayIconRequested, this, &ShellOps::AddTrayIcon);
    dlg_.installEventFilter(this);
}

ShellOps::~ShellOps() {
    tray_.setNotifyHandler({});
    dlg_.removeEventFilter(this);
}

void ShellOps::AddTrayIcon() {
    if (!tray_.available()) return;
    tray_.show(kTrayIconId, dlg_.m_hIcon.isNull() ? dlg_.windowIcon() : dlg_.m_hIcon,
               shell_texts::TrayTip());
}

void ShellOps::RemoveTrayIcon() { tray_.hide(); }

void ShellOps::OnTrayNotify(int id, ITrayIcon::Event event) {
    if (id != kTrayIconId) return;
    switch (event) {
        case ITrayIcon::Event::LeftDoubleClick:
            OnTrayRestore();
            dlg_.raise();
            dlg_.activateWindow();
            break;
        case ITrayIcon::Event::RightButtonDown:
            ShowTrayMenu();
            break;
        case ITrayIcon::Event::Other:
            break;
    }
}

void ShellOps::ShowTrayMenu() {
    dlg_.activateWindow();
    const QStringList items{shell_texts::TrayRestore(), QString(), shell_texts::TrayClose()};
    const int chosen = tray_.menu(items, QCursor::pos());
    if (chosen == 0)
        OnTrayRestore();
    else if (chosen == 2)
        OnTrayClose();
}

void ShellOps::OnTrayRestore() { dlg_.showNormal(); }

void ShellOps::OnTrayClose() {
    OnTrayRestore();
    if (!dlg_.AskYesNo(shell_texts::AreYouSureExit())) return;
    // The window ends only when the close sequence itself ended it; when the sequence
    // stopped (No, or the owner warning) the window stays open.
    OnCloseWindow();
}

bool ShellOps::OnSystemCommand(int command) {
    if ((command & ~0xF) == kAboutCommand) {
        if (hooks_.showAbout) hooks_.showAbout();
        return true;
    }
    if (command == kMinimizeCommand) {
        Minimise();
        return true;
    }
    return false;
}

QStringList ShellOps::SystemMenuItems() {
    return {shell_texts::SystemMinimize(), shell_texts::AboutItem()};
}

int ShellOps::SystemMenuCommand(int index) { return index == 0 ? kMinimizeCommand : kAboutCommand; }

void ShellOps::Minimise() {
    // Hidden, only the notification-area icon remains. Without a notification area the user
    // could never bring a hidden window back, so it is minimised instead.
    if (tray_.available() && tray_.isShown()) {
        dlg_.setWindowState(dlg_.windowState() & ~Qt::WindowMinimized);
        dlg_.hide();
    } else if (!dlg_.isMinimized()) {
        dlg_.showMinimized();
    }
}

void ShellOps::ShowSystemMenu(const QPoint& pos) {
    QMenu menu(&dlg_);
    const QStringList items = SystemMenuItems();
    QList<QAction*> actions;
    for (const QString& item : items) actions << menu.addAction(item);
    QAction* chosen = menu.exec(pos);
    if (chosen) OnSystemCommand(SystemMenuCommand(int(actions.indexOf(chosen))));
}

CloseOutcome ShellOps::OnCloseWindow() {
    const CloseOutcome outcome = close_->OnCloseWindow();
    if (outcome == CloseOutcome::KeptAlive) closedWhileHeld_ = true;
    return outcome;
}

bool ShellOps::ExitAllowed() {
    if (dlg_.m_pAutoProxy) {
        dlg_.hide();
        return false;
    }
    return true;
}

void ShellOps::OnAutomationReleased() {
    if (!closedWhileHeld_ || dlg_.m_pAutoProxy) return;
    closedWhileHeld_ = false;
    dlg_.done(QDialog::Rejected);
}

bool ShellOps::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &dlg_) return QObject::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::Close:
            // The close box, Alt+F4 and the desktop's close all run the close sequence; the
            // sequence ends the window itself when it runs through.
            event->ignore();
            OnCloseWindow();
            return true;
        case QEvent::WindowStateChange:
            // Only the window manager's minimise is the system command; the skin's own
            // minimise button minimises from code and stays a plain minimise.
            if (event->spontaneous() && dlg_.isMinimized()) {
                QTimer::singleShot(0, this, [this] {
                    if (dlg_.isMinimized()) OnSystemCommand(kMinimizeCommand);
                });
            }
            return false;
        case QEvent::ContextMenu:
            ShowSystemMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        default:
            return false;
    }
}
