#pragma once

#include <cstdint>
#include <string_view>

// The Zorvi record codes, shared by the client, the service and their tools. A record is
// {code1, code2}: code1 says what kind of record it is, code2 what it is about.

// Record kinds (code1). The chat dispatch ignores it on incoming chat records.
namespace code1 {
// Every reply the client checks, and all the service pushes on a chat connection; the
// client also sends it for the room creation request and two closing notices.
inline constexpr std::int32_t kReply = 13;
// Most requests and notices.
inline constexpr std::int32_t kRequest = 14;
// What the user says or does: the login, chat lines, kicks and effects.
inline constexpr std::int32_t kUserAction = 15;
}  // namespace code1

// Operation codes (code2). A request and its reply share the code unless named apart.
namespace code2 {
// What the service answers when it has nothing to give: a code no request expects.
inline constexpr std::int32_t kNoAnswer = 0;
inline constexpr std::int32_t kPrivateMessage = 10;  // text = message, list = [to, from]
inline constexpr std::int32_t kChatLine = 11;        // out: one typed line; in: transcript lines
inline constexpr std::int32_t kLeave = 12;           // leave notice; ignored when it comes in
inline constexpr std::int32_t kSoundEffect = 20;
inline constexpr std::int32_t kImageEffect = 21;
inline constexpr std::int32_t kImageEffectAlt = 22;  // received like kImageEffect
inline constexpr std::int32_t kRoomLookUp = 23;      // a room's chat port and owner
inline constexpr std::int32_t kClosing = 25;         // closing notice, either way
inline constexpr std::int32_t kVersionCheck = 26;
inline constexpr std::int32_t kLogin = 27;
inline constexpr std::int32_t kChannelListRequest = 28;
inline constexpr std::int32_t kChannelList = 29;  // the reply to kChannelListRequest
inline constexpr std::int32_t kPersonEntered = 32;
inline constexpr std::int32_t kPersonLeft = 33;
inline constexpr std::int32_t kPortalAddress = 34;
inline constexpr std::int32_t kBeep = 35;          // out: beep a user; in: a notice line
inline constexpr std::int32_t kLoginRefused = 40;  // any answer but kLoginAccepted refuses
inline constexpr std::int32_t kLoginAccepted = 41;
inline constexpr std::int32_t kCreateRoom = 42;
inline constexpr std::int32_t kGiveOwnership = 43;  // out: give it; in: you are the owner
inline constexpr std::int32_t kRemoveRoom = 44;
inline constexpr std::int32_t kKick = 45;
inline constexpr std::int32_t kRoomNameTaken = 46;  // the answer to kCreateRoom for a taken name
inline constexpr std::int32_t kLiveShowRequest = 47;
inline constexpr std::int32_t kLiveShowStart = 48;
inline constexpr std::int32_t kOwnerChanged = 51;
inline constexpr std::int32_t kFindUser = 52;
inline constexpr std::int32_t kDeliverToUser = 53;  // a message for a user found by kFindUser
inline constexpr std::int32_t kServerList = 54;
inline constexpr std::int32_t kLiveShowPlaylist = 55;
}  // namespace code2

namespace zorvi {

// The version the client announces in its version check.
inline constexpr std::int32_t kClientVersion = 4;

// The chat host's bare-string answers to a join; any other answer means joined.
inline constexpr std::string_view kJoinFull = "FULL";
inline constexpr std::string_view kJoinNameExists = "NAMEEXIST";

inline constexpr int kDefaultLoginPort = 2999;
inline constexpr int kDefaultServicePort = 5111;

}  // namespace zorvi
