#include "rooms/people_finder.h"

#include "chat/kestrivan_dlg.h"
#include "net/protocol.h"
#include "rooms/room_dialogs.h"
#include "rooms/room_texts.h"
#include "rooms/service_link.h"

QString PeopleFinder::FindUser(const QString& nickname) {
    auto& w = ctx_.w;
    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kRequest, code2::kFindUser);
    plan.request.text = ToWire(nickname);
    const auto result = ExchangeWithService(w, plan);
    if (!result || !result->Opened()) return {};
    if (!result->Ok()) {
        w.ShowMessage(RoomTexts::kUnableConnectServer);
        return {};
    }
    const CMsg& reply = result->reply;
    if (reply.Is(code1::kReply, code2::kFindUser) && reply.number != 0) return FromWire(reply.text);
    return {};
}

void PeopleFinder::SendToFoundUser(const QString& nickname, const QString& room,
                                   const QString& message) {
    auto& w = ctx_.w;
    if (message.isEmpty() || nickname.isEmpty()) return;
    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kRequest, code2::kDeliverToUser);
    plan.request.list = {ToWire(w.nickname()), ToWire(nickname), ToWire(message)};
    if (!room.isEmpty()) plan.request.text = ToWire(room);
    plan.readsReply = false;
    const auto result = ExchangeWithService(w, plan);
    // The delivery may not have reached the service; say so as the look-up does.
    if (result && result->Opened() && !result->Ok()) w.ShowMessage(RoomTexts::kUnableConnectServer);
}

void PeopleFinder::OnFind() { ctx_.dialogs.ShowFind(*this); }
