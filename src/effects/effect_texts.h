#pragma once

#include <QString>

// The fixed texts of effects and the live show, kept as the users know them.
namespace effect_texts {

// Titles by which an effect page is recognised; compared exactly.
inline QString ImageEffectTitle() { return QStringLiteral("ChoosePic"); }
inline QString SoundEffectTitle() { return QStringLiteral("ChooseSound"); }

inline QString ChooseEffectFirst() {
    return QStringLiteral("Please choose one effect first \n\r before press the send button!");
}
inline QString ChooseOneEffect() { return QStringLiteral("Please choose one effect!"); }
inline QString OnlyOwnerCanSend() { return QStringLiteral("Only the room owner can send effect!"); }
inline QString NotOwnerCannotSend() {
    return QStringLiteral("You are not the owner of this room. So you cannot send effect!");
}
inline QString OpenEffectPaneFirst() {
    return QStringLiteral(
        "Click the <Effect> button to select effect first.\n\rThen click this again to send effect "
        "to a specific user!");
}
inline QString SentToAll() { return QStringLiteral("Your effect is sent to all people!"); }
inline QString SentToUser(const QString& target) {
    return QStringLiteral("Your effect is sent to ") + target + QStringLiteral("!");
}
// Shown instead of a confirmation when the chat connection fails while sending.
inline QString SendFailed() { return QStringLiteral("Your effect could not be sent!"); }

inline QString ReceivedImageLine(const QString& sender) {
    return sender + QStringLiteral(" send you a image effect!");
}
inline QString ReceivedSoundLine(const QString& sender) {
    return sender + QStringLiteral(" send you a sound effect!");
}

inline QString MediaAddressError() { return QStringLiteral("error in media address"); }

// Skin commands sent by effects and the live show.
inline QString ShowEffectWing() { return QStringLiteral("goto effectWing showEffectWing"); }
inline QString EnableCloseEffect() { return QStringLiteral("goto closeEffectButton EnableButton"); }
inline QString ShowMediaWing() { return QStringLiteral("goto mediaWing showMediaWing"); }

// The live show's playlist, in the installation folder.
inline QString PlaylistFileName() { return QStringLiteral("Zorvi.asx"); }

}  // namespace effect_texts
