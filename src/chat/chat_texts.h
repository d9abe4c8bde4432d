#pragma once

#include <QLatin1String>

// The fixed texts of the main window's conversation, commands and ownership boxes. Kept
// exactly as the users of earlier versions know them, odd spelling included.
namespace chat_texts {

inline constexpr QLatin1String kWindowTitle("Zorvi");

// The welcome text is " Welcome " + nickname + kWelcomeTail.
inline constexpr QLatin1String kWelcomeHead(" Welcome ");
inline constexpr QLatin1String kWelcomeTail(
    "! \r\n"
    "\r\n"
    "You can join a exist room by press the CHANGE ROOM Button at your right side\r\n"
    "\r\n"
    "You can create a new room by press the NEW ROOM Button at your right side\r\n");

// Incoming records.
inline constexpr QLatin1String kPrivateMessageArrow("->");
inline constexpr QLatin1String kDisconnected("You are disconnected from the server!");
inline constexpr QLatin1String kConnectionError("Error in Connection!");

// Chat input.
inline constexpr QLatin1String kUnknownCommand("Unknown command! Use /help !");
inline constexpr QLatin1String kBadWordWarning("Warning: Please do not type bad word!");
inline constexpr QLatin1String kRoomLineSendFailed("Unable to connect login server!");
inline constexpr QLatin1String kLineBreak("\r\n");
inline constexpr QLatin1String kBlank(" ");
inline constexpr QLatin1String kHelpLines[] = {
    QLatin1String("\r\n"),
    QLatin1String("Zorvi Version:1.001b"),
    QLatin1String("--------------------"),
    QLatin1String("Command:            "),
    QLatin1String("/help: Display the help menu."),
    QLatin1String("/msg <username> <message>:  "),
    QLatin1String("  Send a private message to another person."),
    QLatin1String("/beep <username>: Beep a user!"),
    QLatin1String("/kick <username>:"),
    QLatin1String("  kick out a user out from the room! Only Room owner can user this."),
    QLatin1String("\r\n"),
};
inline constexpr QLatin1String kMsgUsage(
    "/msg <username> <message>:  Send a private message to another person");
inline constexpr QLatin1String kKickNotOwner("Only the owner of this chat room can <kick> people!");
inline constexpr QLatin1String kKickUsage("/kick <username>: kick a user out of the room!");
inline constexpr QLatin1String kKickSelf("You cannot kick yourself out of the room!");
inline constexpr QLatin1String kKickFailed("There is error in kick user!");
inline constexpr QLatin1String kBeepUsage("/beep <username>: Beep a user!");
// A room line is the speaker's name, this separator, then what was said.
inline constexpr QLatin1String kSpeakerSeparator(": ");
inline constexpr QLatin1String kBeepSuffix(" Beep you!");
inline constexpr QLatin1String kBeepFailed("There is error in sending message!");
inline constexpr QLatin1String kFindUsage("/find <username>: find a user!");
inline constexpr QLatin1String kFindNowhere(" is not in any room !");
inline constexpr QLatin1String kFindInRoomHead(" is in Room <");
inline constexpr QLatin1String kFindInRoomTail("> !");

// Ownership.
inline constexpr QLatin1String kAssignNobody(
    "There is no other people in the room. You cannnot assign ownership to the others!");
inline constexpr QLatin1String kAssignNoSelection(
    "Please select one user from the user list before press this button!");
inline constexpr QLatin1String kAssignQuestionHead("Are you sure to assign the room ownership to ");
inline constexpr QLatin1String kAssignQuestionTail("?");
inline constexpr QLatin1String kAssignNoConnection("Error in assign owner!");
inline constexpr QLatin1String kAssignSendFailed("There is error in connect server!");
inline constexpr QLatin1String kOwnershipGiven(" give you the ownership of this room!");
inline constexpr QLatin1String kNowOwner("\r\n Now! You are the owner of this Room! ");
inline constexpr QLatin1String kOwnerEffectsHint(
    "You can use the effect button to send image effect or sound effect to other users! \r\n");

// Connection failures, reported alike by the login and the room operations.
inline constexpr char kFailConnectServer[] = "Fail to connect server!";
inline constexpr char kFailConnectChatServer[] = "Fail to connect chat server!";
// Followed by the verifier's reason when TLS refused the server's certificate.
inline constexpr char kCertificateRefused[] = "The server's certificate could not be verified: ";

}  // namespace chat_texts
