#pragma once

#include <QString>

// The window shell's fixed texts, each kept in this one place.
namespace shell_texts {

inline QString AreYouSureExit() { return QStringLiteral("Are you sure exit?"); }
inline QString OwnerMustAssign() {
    return QStringLiteral(
        "You are the owner of the room!\n\r You should assign someone to be the owner before you "
        "exit!\n\r Use <Assign Owner> Button to assign the ownership to another user! ");
}
inline QString SaveChatQuestion() {
    return QStringLiteral("Do you want to save the chat message?");
}
inline QString SaveError() { return QStringLiteral("Save message file Error!"); }

inline QString TrayTip() { return QStringLiteral("Zorvi"); }
inline QString TrayRestore() { return QStringLiteral("Restore"); }
inline QString TrayClose() { return QStringLiteral("Close"); }
inline QString SystemMinimize() { return QStringLiteral("Minimize"); }
inline QString AboutItem() { return QStringLiteral("&About Kestrivan..."); }

inline QString SaveDialogTitle() { return QStringLiteral("Save Message File"); }
inline QString SaveDialogFilter() { return QStringLiteral("Text Files (*.txt);;All Files (*.*)"); }
inline QString SaveNamePattern() { return QStringLiteral("yyyy-MM-dd-hh'h'mm'm'"); }

inline QString OptionTitle() { return QStringLiteral("Option Dialog"); }
inline QString OptionSound() { return QStringLiteral("Sound Effect"); }
inline QString OptionSavePassword() { return QStringLiteral("Save password"); }
inline QString OptionPasswordPage() {
    return QStringLiteral("Change Password   or   Query Password");
}

inline QString HelpTopicSuffix() { return QStringLiteral("/zorvi.chm::/ZorviOverview.htm"); }

// The skin commands that close the four wings, in the order the close sequence sends them.
inline const char* const kHideWingCommands[] = {
    "stop; goto mediaWing hideMediaWing",
    "stop; goto effectWing hideEffectWing",
    "stop; goto buttonWing hideButtonWing",
    "stop; goto channelWing hideChannelWing",
};

}  // namespace shell_texts
