#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/cmsg.h"
#include "server/core/event_log.h"
#include "server/core/login_registry.h"
#include "server/core/participant.h"
#include "server/core/room.h"
#include "server/core/room_directory.h"
#include "server/core/server_config.h"

namespace zorvid {

enum class JoinAnswer { Ok, Full, NameExists, NotLoggedIn, NoRoom };

// What the chat hosts of all event loops share: every room's entry and who logged in where.
struct SharedRooms {
    explicit SharedRooms(std::chrono::milliseconds loginLifetime) : logins(loginLifetime) {}
    RoomDirectory directory;
    LoginRegistry logins;
    std::string node;  // this node's id in a cluster; empty alone
};

// The chat host's rooms and people, without sockets: service requests in, replies out;
// chat records from a participant in, pushes to participants out. Runs on one thread: with
// several event loops each has one for the rooms that live on it, and they share the room
// directory (channel list, look-up, find) and the logins.
class ChatHost {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Clock = std::function<TimePoint()>;

    // Without `shared` the host keeps its own directory and logins (one loop).
    ChatHost(const ServerConfig& config, ChatPortProvider& ports, EventLog& log, Clock clock,
             SharedRooms* shared = nullptr, int home = 0);
    ChatHost(const ChatHost&) = delete;
    ChatHost& operator=(const ChatHost&) = delete;

    // Opens the configured permanent rooms, or with several loops every `of`-th one from
    // `first`; false (and logged) when a port cannot be opened.
    bool OpenPermanentRooms(int first = 0, int of = 1);
    // Opens configured permanent room `index`, on `port` when the cluster chose it.
    bool OpenPermanentRoom(std::size_t index, int port = -1);

    void NoteLogin(const std::string& name, const std::string& address);

    // The reply to one service request, or nothing for requests without a reply. A cluster
    // node passes the chat port the cluster gave a room it creates.
    std::optional<CMsg> HandleService(const CMsg& request, const std::string& address,
                                      int claimedPort = -1);

    // Takes over a room whose node is gone, with its people as `members` (parallel to the
    // entry's). Those in `gone` are then dropped as anyone else whose connection ended.
    void Adopt(const RoomEntry& entry, const std::vector<Participant*>& members,
               const std::vector<Participant*>& gone);

    // Lets go of a room that another node took over while this one was cut off: it ends
    // here without a word to anyone, for its people go on there. Returns its members.
    std::vector<Participant*> Relinquish(const std::string& name);

    // The join handshake on a room's chat port. Sends the bare-string answer itself (none
    // for NotLoggedIn and NoRoom) and, on Ok, the room's people and the join pushes.
    JoinAnswer Join(int port, const std::string& name, Participant& who);

    void HandleChat(Participant& who, const CMsg& record);

    // The participant's connection is gone; the others are told. Harmless when unknown.
    void Drop(Participant& who);

    // Removes empty rooms past their grace period and stale logins.
    void Sweep();

    // Ends the service: every participant gets {13, 25} and is closed, in order of arrival.
    void CloseAll();

    const Room* FindRoom(const std::string& name) const;
    std::size_t RoomCount() const { return rooms_.size(); }
    bool IsMember(const Participant& who) const { return members_.count(&who) != 0; }

private:
    struct Membership {
        Room* room;
        std::string name;
    };

    Room* RoomByName(const std::string& name);
    Room* AddRoom(std::string name, char marker, bool permanent, int port, std::uint64_t order,
                  std::string owner = {});
    // Tells the directory what changed in `room`.
    void Publish(const Room& room);
    void RemoveRoom(Room* room);
    void Depart(Participant& who, bool close);
    void PassOwnership(Room& room, const std::string& giver, const std::string& newOwner);
    void Broadcast(Room& room, const CMsg& msg, const Participant* except);
    void SendTo(Participant& who, const CMsg& msg);
    bool OwnsByAddress(const Room& room, const std::string& address) const;

    CMsg ChannelList() const;
    CMsg LookUp(const CMsg& request) const;
    CMsg Create(const CMsg& request, const std::string& address, int claimedPort);
    CMsg Remove(const CMsg& request, const std::string& address);
    CMsg Find(const CMsg& request) const;
    void Deliver(const CMsg& request, const std::string& address);

    void Line(Membership& m, const CMsg& record);
    void PrivateMessage(Membership& m, const CMsg& record);
    void Beep(Membership& m, const CMsg& record);
    void Kick(Membership& m, const CMsg& record);
    void GiveOwnership(Membership& m, const CMsg& record);
    void Effect(Membership& m, const CMsg& record);
    void LiveShow(Participant& who, Membership& m);

    const ServerConfig& config_;
    ChatPortProvider& ports_;
    EventLog& log_;
    Clock clock_;
    std::unique_ptr<SharedRooms> ownShared_;
    SharedRooms& shared_;
    LoginRegistry& logins_;
    RoomDirectory& directory_;
    int home_;
    std::vector<std::unique_ptr<Room>> rooms_;  // channel-list order
    std::unordered_map<int, Room*> byPort_;
    std::unordered_map<const Participant*, Membership> members_;
    std::string scratch_;  // reused encoding buffer for broadcasts
};

}  // namespace zorvid
