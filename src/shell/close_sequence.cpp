#include "shell/close_sequence.h"

#include <QPlainTextEdit>
#include <string>

#include "chat/kestrivan_dlg.h"
#include "shell/first_visible_line.h"
#include "shell/shell_texts.h"

namespace {
constexpr int kMaxLineChars = 255;
}

CloseSequence::CloseSequence(CKestrivanDlg& dlg, CloseSteps steps)
    : dlg_(dlg), steps_(std::move(steps)) {}

CloseOutcome CloseSequence::OnCloseWindow() {
    // A second close request while a question of this one is open changes nothing.
    if (running_) return CloseOutcome::Stopped;
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};

    if (!dlg_.AskYesNo(shell_texts::AreYouSureExit())) return CloseOutcome::Stopped;
    if (dlg_.isOwner() && !dlg_.roomUsers().isEmpty()) {
        dlg_.ShowMessage(shell_texts::OwnerMustAssign());
        return CloseOutcome::Stopped;
    }
    OfferToSave();
    LeaveChatServer();
    if (dlg_.isOwner() && steps_.removeRoom) steps_.removeRoom();
    for (const char* command : shell_texts::kHideWingCommands)
        dlg_.RunSkinCommand(QString::fromLatin1(command));
    if (dlg_.soundOn()) dlg_.PlayProgramSound(ProgramSound::Goodbye, true);
    if (steps_.removeTrayIcon) steps_.removeTrayIcon();
    if (steps_.exitAllowed && !steps_.exitAllowed()) return CloseOutcome::KeptAlive;
    if (steps_.endModalRun) steps_.endModalRun();
    return CloseOutcome::Ended;
}

void CloseSequence::OfferToSave() {
    if (FirstVisibleLine(*dlg_.m_chatDisplay, kMaxLineChars).isEmpty()) return;
    if (!dlg_.AskYesNo(shell_texts::SaveChatQuestion())) return;
    if (steps_.saveTranscript && !steps_.saveTranscript())
        dlg_.ShowMessage(shell_texts::SaveError());
}

void CloseSequence::LeaveChatServer() {
    if (!dlg_.m_pChatSocket) return;
    std::string address;
    int port = 0;
    // Leaving is only sent over a connection that is still established.
    if (dlg_.m_pChatSocket->GetPeerName(address, port) && dlg_.chatPort() != -1 && steps_.leaveRoom)
        steps_.leaveRoom();
    dlg_.m_pChatSocket.reset();
    dlg_.WatchChatSocket();
}
