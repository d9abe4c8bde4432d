#include "rooms/people_finder.h"

#include "chat/kestrivan_dlg.h"
#include "rooms/room_dialogs.h"
#include "rooms/room_texts.h"
#include "rooms/service_link.h"

namespace {
constexpr int kFind = 52;
constexpr int kDeliver = 53;
constexpr int kClosing = 25;
}  // namespace

QString PeopleFinder::FindUser(const QString& nickname) {
    auto& w = ctx_.w;
    CMsg request(14, kFind);
    request.text = ToWire(nickname);
    if (OpenServiceConnection(w) != ServiceOpen::Ok) return {};
    auto& service = *w.m_pServiceSocket;
    QString room;
    try {
        service.Init();
        service.SendMsg(request);
        CMsg reply;
        service.ReceiveMsg(reply);
        if (reply.Is(13, kFind) && reply.number != 0) room = FromWire(reply.text);
        reply.Reset();
        reply.code1 = 14;
        reply.code2 = kClosing;
        service.SendMsg(reply);
        service.Close();
    } catch (const zorvi::StreamFailure&) {
        service.Abort();
        service.Close();
        w.ShowMessage(RoomTexts::kUnableConnectServer);
        return {};
    }
    return room;
}

void PeopleFinder::SendToFoundUser(const QString& nickname, const QString& room,
                                   const QString& message) {
    auto& w = ctx_.w;
    if (message.isEmpty() || nickname.isEmpty()) return;
    CMsg request(14, kDeliver);
    request.list = {ToWire(w.nickname()), ToWire(nickname), ToWire(message)};
    if (!room.isEmpty()) request.text = ToWire(room);
    if (OpenServiceConnection(w) != ServiceOpen::Ok) return;
    auto& service = *w.m_pServiceSocket;
    try {
        service.Init();
        service.SendMsg(request);
        service.SendMsg(CMsg(14, kClosing));
        service.Close();
    } catch (const zorvi::StreamFailure&) {
        // The delivery may not have reached the service; say so as the look-up does.
        service.Abort();
        service.Close();
        w.ShowMessage(RoomTexts::kUnableConnectServer);
    }
}

void PeopleFinder::OnFind() { ctx_.dialogs.ShowFind(*this); }
