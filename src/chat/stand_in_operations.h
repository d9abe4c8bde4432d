#pragma once

#include "chat/window_operations.h"

// Used by the window until the rooms subsystem binds its operations: nothing happens and
// nobody is found, so a command typed early cannot reach a half-built subsystem.
class StandInRoomOperations : public RoomOperations {
public:
    void RefreshRoomView() override {}
    void SendPrivateMessage(const QString&, const QString&) override {}
    QString FindUser(const QString&) override { return {}; }
};

// Used until the effects subsystem binds its operations: received effects and live shows
// are ignored.
class StandInEffectOperations : public EffectOperations {
public:
    void ReceiveImageEffect(const QString&, const QString&) override {}
    void ReceiveSoundEffect(const QString&, const QString&) override {}
    void LiveShowByAddress(const CMsg&) override {}
    void LiveShowByPlaylist(const CMsg&) override {}
};
