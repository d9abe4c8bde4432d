#include "rooms/room_lifecycle.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "chat/kestrivan_dlg.h"
#include "chat/user_list.h"
#include "rooms/room_dialogs.h"
#include "rooms/room_texts.h"
#include "rooms/room_title.h"
#include "rooms/service_link.h"

namespace {
constexpr int kCreate = 42;     // '*'
constexpr int kNameTaken = 46;  // '.'
constexpr int kRemove = 44;
constexpr int kClosing = 25;
constexpr int kLeave = 12;
}  // namespace

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

    if (OpenServiceConnection(w) != ServiceOpen::Ok) return;
    auto& service = *w.m_pServiceSocket;
    CMsg request(13, kCreate);
    request.text = ToWire(*name);
    request.list = {ToWire(w.nickname())};
    CMsg reply;
    try {
        service.Init();
        service.SendMsg(request);
        service.ReceiveMsg(reply);
        service.SendMsg(CMsg(14, kClosing));
        service.Close();
    } catch (const zorvi::StreamFailure&) {
        // The exchange broke off before an answer was complete: nothing has changed here,
        // but the user must know that the room was not created.
        service.Abort();
        service.Close();
        w.ShowMessage(RoomTexts::kFailConnectChatServer);
        return;
    }

    if (reply.Is(13, kNameTaken)) {
        if (reply.number == 1) w.ShowMessage(RoomTexts::kNameTaken);
        return;
    }
    if (!reply.Is(13, kCreate)) return;

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
        chat->SendMsg(CMsg(14, kLeave));
    } catch (const zorvi::StreamFailure&) {
        chat->Abort();
        return;
    }
    if (!chat->HasOutputWriter()) return;
    try {
        CMsg farewell(14, kClosing);
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
    CMsg request(14, kRemove);
    request.text = ToWire(w.roomName());
    switch (OpenServiceConnection(w)) {
        case ServiceOpen::NoSocket:
            return;
        case ServiceOpen::CreateFailed:
        case ServiceOpen::ConnectFailed:
            w.ShowMessage(RoomTexts::kFailConnectChatServer);
            return;
        case ServiceOpen::Ok:
            break;
    }
    auto& service = *w.m_pServiceSocket;
    service.Init();
    try {
        service.SendMsg(request);
    } catch (const zorvi::StreamFailure&) {
        service.Abort();
        service.Close();
        return;
    }
    if (!service.HasOutputWriter()) return;
    CMsg reply;
    try {
        service.ReceiveMsg(reply);
    } catch (const zorvi::StreamFailure&) {
        // No answer: the room may still exist on the server, which is what a refusal says.
        service.Abort();
        service.Close();
        w.AppendChatLine(RoomTexts::kRemoveFailed);
        return;
    }
    if (reply.Is(13, kRemove) && reply.number == 0) w.AppendChatLine(RoomTexts::kRemoveFailed);
    try {
        service.SendMsg(CMsg(13, kClosing));
        service.Close();
    } catch (const zorvi::StreamFailure&) {
        service.Abort();
        service.Close();
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
