#pragma once

#include <QString>
#include <functional>

#include "chat/kestrivan_dlg.h"
#include "rooms/room_context.h"

// Creating a room, leaving and removing rooms, and the window states of entering a room
// and of failing to enter one.
class RoomLifecycle {
public:
    explicit RoomLifecycle(RoomContext& ctx) : ctx_(ctx) {}

    // Called after a room has been entered, to fetch the channel list again.
    void SetRefreshChannelList(std::function<void()> refresh) {
        refreshChannelList_ = std::move(refresh);
    }

    void OnNewRoom();
    void LeaveRoom();
    void RemoveRoom();
    void RefreshRoomView();

    void EnterAsOwner(const QString& roomName, bool wasOwner);
    // `how`: an owner's failed creation gives the room up as its owner; every other path
    // as a room change.
    void EnterNoRoom(CKestrivanDlg::OwnerLoss how);
    // The controls of a joined room: transcript shown, input writable, Send enabled.
    void EnableConversation();

private:
    RoomContext& ctx_;
    std::function<void()> refreshChannelList_;
};
