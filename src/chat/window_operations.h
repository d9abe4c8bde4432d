#pragma once

#include <QString>

struct CMsg;

// Operations of the rooms subsystem that the conversation code calls.
class RoomOperations {
public:
    virtual ~RoomOperations() = default;
    virtual void RefreshRoomView() = 0;
    virtual void SendPrivateMessage(const QString& message, const QString& recipient) = 0;
    virtual QString FindUser(const QString& nickname) = 0;
};

// Operations of the effects subsystem that the incoming dispatch calls.
class EffectOperations {
public:
    virtual ~EffectOperations() = default;
    virtual void ReceiveImageEffect(const QString& address, const QString& sender) = 0;
    virtual void ReceiveSoundEffect(const QString& address, const QString& sender) = 0;
    virtual void LiveShowByAddress(const CMsg& msg) = 0;   // code 48
    virtual void LiveShowByPlaylist(const CMsg& msg) = 0;  // code 55

    // Started by the skin and the user list's menu. The defaults do nothing so that
    // recording fakes need only implement what they check.
    virtual void ShowEffectCatalogue() {}  // the hidden Effect... button
    virtual void BackInCatalogue() {}      // skin "backEffectButton"
    virtual void CloseEffectPane() {}      // skin "closeEffectButton", wing sound included
    virtual void SendEffectToAll() {}      // skin "sendEffectButton"
    virtual void SendEffectToUser() {}     // user list menu "Send Effect"
};
