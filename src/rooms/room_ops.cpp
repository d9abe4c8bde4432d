#include "rooms/room_ops.h"

#include <QPushButton>

#include "chat/kestrivan_dlg.h"

RoomOps::RoomOps(CKestrivanDlg& w, IRoomDialogs& dialogs, std::function<bool()> join,
                 std::function<void()> sendEffect, QObject* parent)
    : QObject(parent),
      ctx_{w, dialogs, std::move(join), std::move(sendEffect)},
      lifecycle_(ctx_),
      channels_(ctx_, lifecycle_),
      people_(ctx_),
      finder_(ctx_) {
    lifecycle_.SetRefreshChannelList([this] { channels_.RefreshChannelList(); });
}

RoomOps::~RoomOps() = default;

void RoomOps::Attach() {
    channels_.Attach();
    people_.Attach();
    // The window's hidden buttons for the room commands (the skin's buttons stand in for them).
    const auto bind = [this](int controlId, void (RoomOps::*handler)()) {
        if (auto* button = qobject_cast<QPushButton*>(ctx_.w.Control(controlId)))
            connect(button, &QPushButton::clicked, this, handler);
    };
    bind(1017, &RoomOps::OnNewRoom);
    bind(1019, &RoomOps::ChangeRoom);
    bind(1041, &RoomOps::RefreshChannelList);
    bind(1007, &RoomOps::OnFind);
    ctx_.w.SetRoomOperations(this);
}
