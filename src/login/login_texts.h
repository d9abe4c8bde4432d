#pragma once

#include "chat/chat_texts.h"
#include "ui/ui_texts.h"

// The fixed texts of the login subsystem, each in one place.
namespace login_texts {

// Shared with the room operations and the progress window.
using chat_texts::kFailConnectChatServer;
using chat_texts::kFailConnectServer;
using ui_texts::kProductLabel;
using ui_texts::kSmallIcon;
using ui_texts::kVersionLabel;

inline constexpr char kUsernameEmpty[] = "Username cannot be empty!";
inline constexpr char kCannotCreateSocket[] = "Cannot create socket";
inline constexpr char kUnableLoginServer[] = "Unable to connect login server!";
inline constexpr char kLoginFail[] = "Login fail!";
inline constexpr char kInableConnectServer[] = "Inable to connect server!";
inline constexpr char kInvalidVersion[] =
    " This version is invalid! \n\r Please download the lastest version from ";
inline constexpr char kRoomFull[] = "chat room is full!";
inline constexpr char kNameExists[] = "Another user having the same name has already exist!";
inline constexpr char kJoinLine[] = "join the chatroom";
inline constexpr char kProcessingLogin[] = "Processing Login....";

// Dialog captions and labels.
inline constexpr char kLoginCaption[] = "Register dialog";
inline constexpr char kUsernameLabel[] = "Username:";
inline constexpr char kPasswordLabel[] = "Password:";
inline constexpr char kOk[] = "OK";
inline constexpr char kCancel[] = "Cancel";
inline constexpr char kSavePassword[] = "Save password";
inline constexpr char kRegistration[] = "New user Registration ";
inline constexpr char kMoreLessTemplate[] = "More/Less";
inline constexpr char kServerLabel[] = "Server:";
// Collapsed caption, a line feed, expanded caption.
inline constexpr char kMoreLessCaptions[] = "&More>>\n<<&Less";

}  // namespace login_texts
