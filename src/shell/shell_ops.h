#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

#include "shell/close_sequence.h"
#include "shell/tray_icon_seam.h"

class CKestrivanDlg;

// What the shell is given by the assembly: the rooms subsystem's leave and remove, the
// transcript and the About box.
struct ShellHooks {
    std::function<void()> leaveRoom;
    std::function<void()> removeRoom;
    std::function<bool()> saveTranscript;
    std::function<void()> showAbout;
};

// The window's outer life: the notification-area icon and its menu, minimising, the
// system-menu commands and the close sequence. Watches the window through an event filter,
// so close requests and the window manager's minimise reach it.
class ShellOps : public QObject {
    Q_OBJECT

public:
    static constexpr int kTrayIconId = 12345;
    static constexpr int kAboutCommand = 16;
    static constexpr int kMinimizeCommand = 0xF020;

    ShellOps(CKestrivanDlg& dlg, ITrayIcon& tray, ShellHooks hooks, QObject* parent = nullptr);
    ~ShellOps() override;

    void AddTrayIcon();
    void RemoveTrayIcon();
    void OnTrayNotify(int id, ITrayIcon::Event event);
    void ShowTrayMenu();
    void OnTrayRestore();
    void OnTrayClose();

    // True when the command was handled; otherwise the default processing applies.
    bool OnSystemCommand(int command);
    // The window's own menu (the desktop has no system menu to extend): "Minimize" and the
    // About item, in this order, as (text, command) pairs.
    static QStringList SystemMenuItems();
    static int SystemMenuCommand(int index);

    CloseOutcome OnCloseWindow();
    // False while an automation client holds the window; the window is then hidden.
    bool ExitAllowed();
    // The automation client let go: a window that was closed meanwhile ends now.
    void OnAutomationReleased();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Minimise();
    void ShowSystemMenu(const QPoint& pos);

    CKestrivanDlg& dlg_;
    ITrayIcon& tray_;
    ShellHooks hooks_;
    std::unique_ptr<CloseSequence> close_;
    bool closedWhileHeld_ = false;
};
