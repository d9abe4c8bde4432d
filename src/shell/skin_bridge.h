#pragma once

#include <QString>
#include <chrono>
#include <memory>

#include "shell/skin_targets.h"

class BlockingWait;
class CKestrivanDlg;
class QTimer;

// Turns presses of skin buttons into the program's operations and keeps the two pieces of
// window state that only the skin changes: the button wing and the channel wing, with the
// channel list refresh that runs while the channel wing is open.
class SkinBridge {
public:
    static constexpr std::chrono::milliseconds kChannelRefreshPeriod{60000};

    // `wait` may be null (no blocking exchanges to guard against).
    SkinBridge(CKestrivanDlg& dlg, SkinTargets targets, BlockingWait* wait,
               std::chrono::milliseconds refreshPeriod = kChannelRefreshPeriod);
    ~SkinBridge();
    SkinBridge(const SkinBridge&) = delete;
    SkinBridge& operator=(const SkinBridge&) = delete;

    // One press of a skin button, by element name (exact, case-sensitive).
    void OnSkinButton(const QString& name);

    // The channel list refresh timer; null while the channel wing is closed.
    const QTimer* ChannelRefreshTimer() const { return refreshTimer_.get(); }

private:
    void ToggleButtonWing();
    void ToggleChannelWing();
    void OnRefreshTimer();
    void PrivateMessage();
    void AssignOwner();
    void WingSound();
    void Minimize();
    static void Call(const std::function<void()>& target);

    CKestrivanDlg& dlg_;
    SkinTargets targets_;
    BlockingWait* wait_;
    std::chrono::milliseconds refreshPeriod_;
    std::unique_ptr<QTimer> refreshTimer_;
};
