#pragma once

#include <QString>
#include <memory>

#include "app/blocking_wait.h"
#include "app/endpoints.h"
#include "app/qt_keychain.h"

class CKestrivanDlg;
class SettingsStore;
class SkinWidget;
class WindowPlacementKeeper;
class SkinBridge;
class LoginOps;
class RoomOps;
class EffectOps;
class ShellOps;
class OptionOps;
class Transcript;
class QtMessageBox;
class QtSoundPlayer;
class QtDesktop;
class SystemClock;
class QtLoginDialog;
class QtRoomDialogs;
class QtSaveFileDialog;
class TrayIcon;
class WebEnginePane;
class CMediaPlayer2;
class CUserListBox;
class AutomationFactory;
class DesktopNotifier;
class NotificationOps;

// Builds the program: the desktop bindings, the main window with its skin, panes, player and
// user list, and every subsystem's operations, wired to the window's controls and to the
// skin's buttons. main() owns one of these for the life of the process.
class KestrivanAssembly {
public:
    KestrivanAssembly(SettingsStore& settings, const Endpoints& endpoints);
    ~KestrivanAssembly();
    KestrivanAssembly(const KestrivanAssembly&) = delete;
    KestrivanAssembly& operator=(const KestrivanAssembly&) = delete;

    // Logs in (dialog or saved login) and checks the version: true when the window may open.
    bool LoginSequence();
    // Sets the window up and shows it; returns at once (tests run the event loop).
    void ShowWindow();
    // Sets the window up and runs it until the close sequence ends it.
    void Run();
    // Lets automation keep the window: hidden instead of ended while a client holds it.
    void AttachAutomation(AutomationFactory& factory);

    CKestrivanDlg& window() { return *dlg_; }
    SkinWidget& skin() { return *skin_; }
    SkinBridge& bridge() { return *bridge_; }
    RoomOps& rooms() { return *rooms_; }
    EffectOps& effects() { return *effects_; }
    ShellOps& shell() { return *shell_; }
    CMediaPlayer2& media() { return *media_; }
    WebEnginePane& effectPane() { return *effectPane_; }
    WebEnginePane& portal() { return *portal_; }

private:
    void BuildFace(SettingsStore& settings);
    // Before the first show: the saved place and the channel list's columns.
    void PrepareToShow();
    void BindButtons();
    void BindSkin();

    BlockingWait wait_;
    QtKeychain keyring_{wait_.Hook()};
    std::unique_ptr<QtMessageBox> box_;
    std::unique_ptr<QtSoundPlayer> sounds_;
    std::unique_ptr<QtDesktop> desktop_;
    std::unique_ptr<SystemClock> clock_;
    std::unique_ptr<CKestrivanDlg> dlg_;
    SkinWidget* skin_ = nullptr;                  // owned by the window
    WindowPlacementKeeper* placement_ = nullptr;  // owned by the window
    WebEnginePane* portal_ = nullptr;             // owned by the window
    WebEnginePane* effectPane_ = nullptr;
    CMediaPlayer2* media_ = nullptr;
    CUserListBox* users_ = nullptr;
    std::unique_ptr<QtLoginDialog> loginDialog_;
    std::unique_ptr<LoginOps> login_;
    std::unique_ptr<QtRoomDialogs> roomDialogs_;
    std::unique_ptr<EffectOps> effects_;
    std::unique_ptr<RoomOps> rooms_;
    std::unique_ptr<QtSaveFileDialog> saveDialog_;
    std::unique_ptr<Transcript> transcript_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<ShellOps> shell_;
    std::unique_ptr<OptionOps> options_;
    std::unique_ptr<SkinBridge> bridge_;

    void BindConveniences(SettingsStore& settings);
    std::unique_ptr<DesktopNotifier> notifier_;
    std::unique_ptr<NotificationOps> notifications_;
};
