#pragma once

#include <functional>

class CKestrivanDlg;

// How one run of the close sequence ended.
enum class CloseOutcome {
    Stopped,    // the user said No, or the owner must hand the room on first: nothing changed
    KeptAlive,  // the sequence ran through, but an automation client holds the window
    Ended,      // the sequence ran through and the window's modal run was ended
};

// The operations of other subsystems that closing uses. Empty ones are skipped.
struct CloseSteps {
    std::function<bool()> saveTranscript;  // false when saving failed
    std::function<void()> leaveRoom;
    std::function<void()> removeRoom;
    std::function<void()> removeTrayIcon;
    std::function<bool()> exitAllowed;  // false: keep the window (it has been hidden)
    std::function<void()> endModalRun;
};

// The window's close sequence: confirmation, the owner check, the offer to save the
// conversation, leaving the chat server cleanly, closing the wings, the goodbye sound and
// removal of the notification-area icon.
class CloseSequence {
public:
    CloseSequence(CKestrivanDlg& dlg, CloseSteps steps);

    CloseOutcome OnCloseWindow();
    bool running() const { return running_; }

private:
    void OfferToSave();
    void LeaveChatServer();

    CKestrivanDlg& dlg_;
    CloseSteps steps_;
    bool running_ = false;
};
