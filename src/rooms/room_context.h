#pragma once

#include <QString>
#include <functional>
#include <string>

class CKestrivanDlg;
class IRoomDialogs;

// What every room operation works with: the window that owns the state, the dialogs, and
// the operations of other subsystems that the assembly binds in.
struct RoomContext {
    CKestrivanDlg& w;
    IRoomDialogs& dialogs;
    // Joins the chat host on the window's m_chatHost:m_chatPort; true when the host
    // accepted the user (the login subsystem's JoinChatServer).
    std::function<bool()> join;
    // Sends an effect to the person selected in the user list (the effects subsystem).
    std::function<void()> sendEffect;
};

// Record text is UTF-8 bytes on the wire.
inline std::string ToWire(const QString& s) { return s.toStdString(); }
inline QString FromWire(const std::string& s) { return QString::fromStdString(s); }
