#pragma once

#include <QString>

#include "chat/chat_texts.h"

// The fixed texts of the room, people and find operations. Texts that other subsystems
// show too are taken from their one place.
namespace RoomTexts {

// Room creation and leaving.
inline const QString kOwnerMustAssign = QStringLiteral(
    "You are the owner of the room!\n\r You should assign someone to be the owner before you "
    "exit!\n\r Use "
    "<Assign Owner> Button to assign the ownership to another user! ");
inline const QString kLoseOwnershipNewRoom = QStringLiteral(
    "You will lose ownership of this room after you quit! \n\rDo you want to close it?");
inline const QString kNameTaken = QStringLiteral("The same chatroom's name has already existed");
inline const QString kWelcomePrefix = QStringLiteral("Hello! Welcome! ");
inline const QString kWelcomeSuffix = QStringLiteral("! \r\n");
inline const QString kNowOwner = QStringLiteral("Now! You are the owner of this Room!");
inline const QString kNowOwnerNewcomer = QStringLiteral("Now! You are the owner of this Room! ");
inline const QString kEffectHint = QString(chat_texts::kOwnerEffectsHint);
inline const QString kJoinFailed = QStringLiteral("Error to connect the chat server! Try later");
inline const QString kLeftRoomSuffix = QStringLiteral(" left the chatroom!");
inline const QString kFailConnectChatServer =
    QString::fromLatin1(chat_texts::kFailConnectChatServer);
inline const QString kRemoveFailed = QStringLiteral("Error in Remove ChatRoom!");
inline const QString kWindowTitle = QString(chat_texts::kWindowTitle);

// Channel list and room change.
inline const QString kFailConnectServer = QString::fromLatin1(chat_texts::kFailConnectServer);
inline const QString kUpdatingChannels = QStringLiteral("Updating Channel List....");
inline const QString kChannelUpdateError = QStringLiteral("There is error in update channel list!");
inline const QString kUnableConnectServer = QStringLiteral("Unable to connect server!");
inline const QString kChooseRoom = QStringLiteral("Choose one of the room you want to enter!");
inline const QString kLoseOwnershipChange = QStringLiteral(
    "After change room!You will lose ownership of this room after you quit! \n\r Do you want to "
    "close it?");

// Person actions.
inline const QString kPrivateMessageError = QStringLiteral("send provate message error!");
inline const QString kBadWord = QString(chat_texts::kBadWordWarning);
inline const QString kUnableSend = QStringLiteral("Unable to send message!");
inline const QString kMessageTooLong = QStringLiteral("Out of the maximum message length %d!");
inline const QString kMenuMessage = QStringLiteral("Message");
inline const QString kMenuBeep = QStringLiteral("Beep");
inline const QString kMenuSendEffect = QStringLiteral("Send Effect");
inline const QString kMenuGiveOwnership = QStringLiteral("Give ownership");

// Find people.
inline const QString kFindError = QStringLiteral("Error!");
inline const QString kNotInAnyRoom = QStringLiteral(" is not in any room!");
inline const QString kInRoomPrefix = QStringLiteral(" is in Room [");
inline const QString kInRoomSuffix = QStringLiteral("].");
inline const QString kMessageSentSuffix = QStringLiteral("] and message is sent.");

// Dialogs.
inline const QString kNewRoomCaption = QStringLiteral("Create New room");
inline const QString kNewRoomPrompt = QStringLiteral("Enter the Name of the new Room:");
inline const QString kPrivateMessageCaption = QStringLiteral("Private Message");
inline const QString kSenderLabel = QStringLiteral("Sender:");
inline const QString kSend = QStringLiteral("Send");
inline const QString kCancel = QStringLiteral("Cancel");
inline const QString kOk = QStringLiteral("OK");
inline const QString kFindCaption = QStringLiteral("Find people");
inline const QString kFindPrompt = QStringLiteral("Enter the user nickname:");
inline const QString kFindButton = QStringLiteral("Find");
inline const QString kResultLabel = QStringLiteral("Result:");
inline const QString kMessageToUser = QStringLiteral("Message to user");
inline const QString kClose = QStringLiteral("Close");

}  // namespace RoomTexts

// Limits of the dialogs' edit controls, in characters.
inline constexpr int kNewRoomNameLimit = 20;
inline constexpr int kPrivateMessageLimit = 250;
