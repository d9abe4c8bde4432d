#pragma once

#include <string_view>

// The fixed texts the service sends; each lives here and only here.
namespace zorvid::texts {

inline constexpr std::string_view kJoinOk = "OK";

inline constexpr std::string_view kBeepSuffix = " Beep you!";
// The kicked person's notice: "You are kicked out of the room by " + owner + "!".
inline constexpr std::string_view kKickedPrefix = "You are kicked out of the room by ";
inline constexpr std::string_view kKickedSuffix = "!";
// The chat line prefix every room line must carry: the sender's own name and ": ".
inline constexpr std::string_view kLineSeparator = ": ";
// The giver named when the service itself hands an empty room to the first to enter it.
inline constexpr std::string_view kServiceGiver = "Zorvi";

}  // namespace zorvid::texts
