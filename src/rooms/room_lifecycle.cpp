#include "rooms/room_lifecycle.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "chat/kestrivan_dlg.h"
#include "chat/user_list.h"
#include "net/protocol.h"
#include "rooms/room_dialogs.h"
#include "rooms/room_texts.h"
#include "rooms/room_title.h"
#include "rooms/service_link.h"

void RoomLifecycle::OnNewRoom() {
    auto& w = ctx_.w;
    const bool wasOwner = w.isOwner();
    if (wasOwner) {
        if (!w.roomUsers().isEmpty()) {
            w.ShowMessage(RoomTexts::kOwnerMustAssign);
            return;
        }
        if (!w.AskYesNo(RoomTexts::kLoseOwnershipNewRoom)) return;
    }
    const std::optional<QString> name = ctx_.dialogs.AskNewRoomName();
    if (!name) return;

    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kReply, code2::kCreateRoom);
    plan.request.text = ToWire(*name);
    plan.request.list = {ToWire(w.nickname())};
    const auto result = ExchangeWithService(w, plan);
    if (!result || !result->Opened()) return;
    if (!result->Ok()) {
        // The exchange broke off before it was complete: nothing has changed here, but the
        // user must know that the room was not created.
        w.ShowMessage(RoomTexts::kFailConnectChatServer);
        return;
    }
    const CMsg& reply = result->reply;
    if (reply.Is(code1::kReply, code2::kRoomNameTaken)) {
        if (reply.number == 1) w.ShowMessage(RoomTexts::kNameTaken);
        return;
    }
    if (!reply.Is(code1::kReply, code2::kCreateRoom)) return;

    LeaveRoom();
    if (wasOwner) RemoveRoom();
    w.SetRoomPort(reply.number);
    w.m_mediaPlayer->Stop();
    if (ctx_.join && ctx_.join()) {
        EnterAsOwner(*name, wasOwner);
    } else {
        EnterNoRoom(wasOwner ? CKestrivanDlg::OwnerLoss::ByOwner
                             : CKestrivanDlg::OwnerLoss::ByRoomChange);
    }
}

void RoomLifecycle::EnterAsOwner(const QString& roomName, bool wasOwner) {
    auto& w = ctx_.w;
    w.SetRoomOwner(w.nickname());
    w.EnterRoom(roomName);
    w.AppendChatLine(RoomTexts::kWelcomePrefix + w.nickname() + RoomTexts::kWelcomeSuffix);
    w.AppendChatLine(wasOwner ? RoomTexts::kNowOwner : RoomTexts::kNowOwnerNewcomer);
    w.AppendChatLine(RoomTexts::kEffectHint);
    w.m_roomTitleEdit->setText(RoomTitleLine(roomName, w.nickname()));
    w.setWindowTitle(RoomTexts::kWindowTitle);
    w.BecomeOwner(CKestrivanDlg::OwnerGain::Created);
    EnableConversation();
    if (refreshChannelList_) refreshChannelList_();
}

void RoomLifecycle::EnterNoRoom(CKestrivanDlg::OwnerLoss how) {
    auto& w = ctx_.w;
    w.ShowMessage(RoomTexts::kJoinFailed);
    w.SetRoomPort(-1);
    w.m_roomTitleEdit->clear();
    w.m_chatInput->setReadOnly(true);
    w.m_sendButton->setEnabled(false);
    w.setWindowTitle(RoomTexts::kWindowTitle);
    w.GiveUpOwnership(how);
}

void RoomLifecycle::EnableConversation() {
    auto& w = ctx_.w;
    w.m_chatDisplay->show();
    w.m_chatInput->setReadOnly(false);
    w.m_sendButton->setEnabled(true);
}

void RoomLifecycle::LeaveRoom() {
    auto& w = ctx_.w;
    w.ClearRoom();

    auto* chat = w.m_pChatSocket.get();
    if (!chat) return;
    std::string address;
    int port = 0;
    if (!chat->GetPeerName(address, port) || w.chatPort() == -1) return;

    try {
        chat->SendMsg(CMsg(code1::kRequest, code2::kLeave));
    } catch (const zorvi::StreamFailure&) {
        chat->Abort();
        return;
    }
    if (!chat->HasOutputWriter()) return;
    try {
        CMsg farewell(code1::kRequest, code2::kClosing);
        farewell.text = ToWire(w.nickname() + RoomTexts::kLeftRoomSuffix);
        chat->SendMsg(farewell);
        chat->ShutdownSend();
        chat->Close();
    } catch (const zorvi::StreamFailure&) {
        chat->Abort();
        return;
    }
}

void RoomLifecycle::RemoveRoom() {
    auto& w = ctx_.w;
    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kRequest, code2::kRemoveRoom);
    plan.request.text = ToWire(w.roomName());
    plan.closingCode1 = code1::kReply;
    const auto result = ExchangeWithService(w, plan);
    if (!result) return;
    switch (result->failedAt) {
        case zorvi::OneShotStep::Create:
        case zorvi::OneShotStep::Connect:
            w.ShowMessage(RoomTexts::kFailConnectChatServer);
            return;
        case zorvi::OneShotStep::Send:
            return;
        case zorvi::OneShotStep::Receive:
            // No answer: the room may still exist on the server, which is what a refusal says.
            w.AppendChatLine(RoomTexts::kRemoveFailed);
            return;
        case zorvi::OneShotStep::Closing:
        case zorvi::OneShotStep::None:
            // A lost closing notice changes nothing about a complete answer.
            break;
    }
    if (result->reply.Is(code1::kReply, code2::kRemoveRoom) && result->reply.number == 0) {
        w.AppendChatLine(RoomTexts::kRemoveFailed);
    }
}

void RoomLifecycle::RefreshRoomView() {
    auto& w = ctx_.w;
    w.m_userList->Clear();
    if (w.roomUsers().isEmpty()) return;
    for (const QString& name : w.roomUsers()) {
        // Exact comparison: a name differing only in letter case is not the owner.
        w.m_userList->AddColoredName(name, name == w.ownerName() ? kOwnerColour : 0);
    }
    w.m_roomTitleEdit->setText(RoomTitleLine(w.roomName(), w.ownerName()));
}
