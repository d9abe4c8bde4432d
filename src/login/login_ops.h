#pragma once

#include <QString>

class CKestrivanDlg;
class ILoginDialog;

// Logging in, the version check and joining a room's chat connection, working on the main
// window's members (names, hosts, ports, sockets, the progress window).
class LoginOps {
public:
    LoginOps(CKestrivanDlg& dlg, ILoginDialog& loginDialog);

    // True when the user is logged in and the version accepted: the window may open.
    bool LoginSequence();
    // The login loop: false when the user cancelled the dialog or the exchange broke down.
    bool Login();
    // True when the chat host accepted this client's version.
    bool CheckVersion();
    // True when the chat connection is open on m_chatPort and the host let the user in.
    bool JoinChatServer();

private:
    enum class VersionCheck { Accepted, Refused, Unreachable };

    void SaveLogin(const QString& userName, const QString& password, bool savePassword);
    void EndProgress();
    void CloseChatSocket();

    CKestrivanDlg& m_dlg;
    ILoginDialog& m_loginDialog;
    VersionCheck lastVersionCheck_ = VersionCheck::Refused;
};
