#pragma once

// The fixed texts of the login subsystem, each in one place.
namespace login_texts {

inline constexpr char kUsernameEmpty[] = "Username cannot be empty!";
inline constexpr char kCannotCreateSocket[] = "Cannot create socket";
inline constexpr char kFailConnectServer[] = "Fail to connect server!";
inline constexpr char kUnableLoginServer[] = "Unable to connect login server!";
inline constexpr char kLoginFail[] = "Login fail!";
inline constexpr char kInableConnectServer[] = "Inable to connect server!";
inline constexpr char kInvalidVersion[] =
    " This version is invalid! \n\r Please download the lastest version from ";
inline constexpr char kFailConnectChatServer[] = "Fail to connect chat server!";
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
inline constexpr char kProductLabel[] = "Zorvi";
inline constexpr char kVersionLabel[] = " Version 1.1b";
inline constexpr char kSavePassword[] = "Save password";
inline constexpr char kRegistration[] = "New user Registration ";
inline constexpr char kMoreLessTemplate[] = "More/Less";
inline constexpr char kServerLabel[] = "Server:";
// Collapsed caption, a line feed, expanded caption.
inline constexpr char kMoreLessCaptions[] = "&More>>\n<<&Less";

// The program's small icon, beside the product name.
inline constexpr char kSmallIcon[] = ":/res/login/icon155.svg";

}  // namespace login_texts
