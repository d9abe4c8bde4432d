#pragma once

#include <functional>

// The operations that skin buttons start in other parts of the program, bound by the code
// that assembles the window. A target left empty makes its button do nothing.
struct SkinTargets {
    // "closeEffectButton": the whole close of the effect pane, wing sound included.
    std::function<void()> closeEffectPane;
    std::function<void()> openServiceHome;  // "zorviButton"
    std::function<void()> openSiblingHome;  // "pelbrookButton"
    std::function<void()> backEffect;       // "backEffectButton" (checks ownership itself)
    std::function<void()> sendEffectToAll;  // "sendEffectButton"
    // "EffectButton", after the bridge's wing sound: show the pane and open the catalogue.
    std::function<void()> showEffectCatalogue;
    std::function<void()> assignOwner;     // "assignButton", after the "assign" box
    std::function<void()> options;         // "optionButton"
    std::function<void()> find;            // "findButton"
    std::function<void()> help;            // "helpButton"
    std::function<void()> newRoom;         // "newButton"
    std::function<void()> changeRoom;      // "changeButton"
    std::function<void()> refreshPortal;   // "refreshButton"
    std::function<void()> send;            // "sendButton"
    std::function<void()> privateMessage;  // "privateButton", a person being selected
    std::function<void()> play;            // "playMedia"
    std::function<void()> pause;           // "pauseMedia"
    std::function<void()> stop;            // "stopMedia"
    // The channel list fetch of the hidden Show List button: on opening the channel wing and
    // on every tick of its refresh timer.
    std::function<void()> refreshChannelList;
};
