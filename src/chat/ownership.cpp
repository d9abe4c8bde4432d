#include <QPushButton>

#include "chat/chat_texts.h"
#include "chat/kestrivan_dlg.h"
#include "chat/record_fields.h"
#include "chat/skin_commands.h"
#include "chat/user_list.h"
#include "chat/window_operations.h"
#include "net/protocol.h"

void CKestrivanDlg::OnAssignOwner() {
    const int selected = m_userList->SelectedIndex();
    if (m_roomUsers.isEmpty()) {
        ShowMessage(QString(chat_texts::kAssignNobody));
        return;
    }
    if (selected < 0 || selected >= m_userList->Count()) {
        ShowMessage(QString(chat_texts::kAssignNoSelection));
        return;
    }
    const QString name = m_userList->Text(selected);
    if (!AskYesNo(chat_texts::kAssignQuestionHead + name + chat_texts::kAssignQuestionTail)) return;

    CMsg msg(code1::kRequest, code2::kGiveOwnership);
    msg.text = name.toStdString();
    msg.list.push_back(m_nickname.toStdString());
    if (!m_pChatSocket) {
        ShowMessage(QString(chat_texts::kAssignNoConnection));
        return;
    }
    // A connection without an output writer would send nothing at all: say so, as for a
    // failed write, rather than let the hand-over look done.
    if (!SendOnChat(msg)) AppendChatLine(QString(chat_texts::kAssignSendFailed));

    // The room is given up at once, before the server confirms the new owner.
    GiveUpOwnership(OwnerLoss::ByOwner);
}

void CKestrivanDlg::OnBecomeOwner(const CMsg& msg) {
    m_ownerName = m_nickname;
    Rooms().RefreshRoomView();
    AppendChatLine(FirstEntry(msg) + chat_texts::kOwnershipGiven);
    AppendChatLine(QString(chat_texts::kNowOwner));
    AppendChatLine(QString(chat_texts::kOwnerEffectsHint));
    BecomeOwner(OwnerGain::Received);
}

void CKestrivanDlg::BecomeOwner(OwnerGain how) {
    m_isOwner = 1;
    m_effectButton->setEnabled(true);
    m_assignButton->setEnabled(true);
    const auto& commands = how == OwnerGain::Received ? skin_commands::kBecomeOwner
                                                      : skin_commands::kCreateRoomAsOwner;
    for (const QLatin1String& command : commands) RunSkinCommand(command);
}

void CKestrivanDlg::GiveUpOwnership(OwnerLoss how) {
    m_isOwner = 0;
    m_effectButton->setEnabled(false);
    m_assignButton->setEnabled(false);
    const auto& commands =
        how == OwnerLoss::ByOwner ? skin_commands::kGiveUpOwnership : skin_commands::kChangeRoom;
    for (const QLatin1String& command : commands) RunSkinCommand(command);
}

void CKestrivanDlg::OnOwnerChanged(const CMsg& msg) {
    m_ownerName = LastEntry(msg);
    Rooms().RefreshRoomView();
}
