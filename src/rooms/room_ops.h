#pragma once

#include <QObject>
#include <functional>
#include <memory>

#include "chat/window_operations.h"
#include "rooms/channel_list.h"
#include "rooms/people_finder.h"
#include "rooms/person_actions.h"
#include "rooms/room_context.h"
#include "rooms/room_lifecycle.h"

class CKestrivanDlg;
class IRoomDialogs;

// The rooms subsystem's face towards the window and the skin: creating, changing and
// leaving rooms, the channel list, the people in the room, and finding people.
class RoomOps : public QObject, public RoomOperations {
    Q_OBJECT

public:
    // `join` is the login subsystem's JoinChatServer; `sendEffect` sends an effect to the
    // person selected in the user list.
    RoomOps(CKestrivanDlg& w, IRoomDialogs& dialogs, std::function<bool()> join,
            std::function<void()> sendEffect = {}, QObject* parent = nullptr);
    ~RoomOps() override;

    // Wires the window's channel list, user list and context-menu requests to the handlers.
    // Call once the window's controls and parts exist.
    void Attach();

    // Rooms.
    void OnNewRoom() { lifecycle_.OnNewRoom(); }
    void LeaveRoom() { lifecycle_.LeaveRoom(); }
    void RemoveRoom() { lifecycle_.RemoveRoom(); }
    void RefreshRoomView() override { lifecycle_.RefreshRoomView(); }

    // Channel list.
    void RefreshChannelList() { channels_.RefreshChannelList(); }
    int LookUpRoom(const QString& name) { return channels_.LookUpRoom(name); }
    void ChangeRoom() { channels_.ChangeRoom(); }
    void OnChannelColumnClick(int column) { channels_.OnChannelColumnClick(column); }

    // People.
    void OnUserDoubleClick() { people_.OnUserDoubleClick(); }
    void OnMessageCommand() { people_.OnMessageCommand(); }
    void SendBeep() { people_.SendBeep(); }
    void OnGiveOwnership() { people_.OnGiveOwnership(); }
    void ShowPersonMenu(const std::optional<QPoint>& screenPos) {
        people_.ShowPersonMenu(screenPos);
    }
    void SendPrivateMessage(const QString& message, const QString& recipient) override {
        people_.SendPrivateMessage(message, recipient);
    }

    // Find people.
    void OnFind() { finder_.OnFind(); }
    QString FindUser(const QString& nickname) override { return finder_.FindUser(nickname); }
    void SendToFoundUser(const QString& nickname, const QString& room, const QString& message) {
        finder_.SendToFoundUser(nickname, room, message);
    }

    RoomLifecycle& lifecycle() { return lifecycle_; }
    ChannelList& channels() { return channels_; }
    PersonActions& people() { return people_; }
    PeopleFinder& finder() { return finder_; }

private:
    RoomContext ctx_;
    RoomLifecycle lifecycle_;
    ChannelList channels_;
    PersonActions people_;
    PeopleFinder finder_;
};
