#pragma once

#include <QString>
#include <functional>

#include "rooms/room_context.h"

// Creating a room, leaving and removing rooms, and the window states of entering a room
// and of failing to enter one.
class RoomLifecycle {
public:
    // Order of the three skin commands that disable the owner's buttons in the no-room
    // state: an owner's failed creation disables Effect before closeEffect, every other
    // path the other way round.
    enum class DisableOrder { AssignEffectClose, AssignCloseEffect };

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
    void EnterNoRoom(DisableOrder order);
    // The controls of a joined room: transcript shown, input writable, Send enabled.
    void EnableConversation();

private:
    void SetOwnerControls(bool enabled);

    RoomContext& ctx_;
    std::function<void()> refreshChannelList_;
};
