#pragma once

#include <QLatin1String>

// The skin commands that the main window's own operations send.
namespace skin_commands {

inline constexpr QLatin1String kSetUp[] = {
    QLatin1String("goto assignButton DisableButton"),
    QLatin1String("goto closeEffectButton DisableButton"),
    QLatin1String("goto EffectButton DisableButton"),
    QLatin1String("goto changeButton DisableButton"),
    QLatin1String("goto newButton DisableButton"),
};

inline constexpr QLatin1String kGiveUpOwnership[] = {
    QLatin1String("goto assignButton DisableButton"),
    QLatin1String("goto EffectButton DisableButton"),
    QLatin1String("goto closeEffectButton DisableButton"),
};

// Every other room change, successful or not, names closeEffect before Effect.
inline constexpr QLatin1String kChangeRoom[] = {
    QLatin1String("goto assignButton DisableButton"),
    QLatin1String("goto closeEffectButton DisableButton"),
    QLatin1String("goto EffectButton DisableButton"),
};

inline constexpr QLatin1String kBecomeOwner[] = {
    QLatin1String("goto assignButton EnableButton"),
    QLatin1String("goto EffectButton EnableButton"),
    QLatin1String("goto closeEffectButton EnableButton"),
};

// Entering a room just created stops the skin's animation first.
inline constexpr QLatin1String kCreateRoomAsOwner[] = {
    QLatin1String("stop;goto assignButton EnableButton"),
    QLatin1String("stop;goto closeEffectButton EnableButton"),
    QLatin1String("stop;goto EffectButton EnableButton"),
};

inline constexpr QLatin1String kNameElement("name");

}  // namespace skin_commands
