#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <optional>

#include "e2e/zorvid_process.h"
#include "effects/effect_ops.h"
#include "login/login_dialog.h"
#include "login/login_ops.h"
#include "rooms/room_dialogs.h"
#include "rooms/room_ops.h"
#include "support/test_window.h"

// The login dialog of a person who types their name and the service's address.
class TypedLogin : public ILoginDialog {
public:
    TypedLogin(QString name, QString server) : name_(std::move(name)), server_(std::move(server)) {}
    bool Run(LoginDialogData& data) override {
        if (++shown > 1) return false;  // a second showing means the login was refused
        data.userName = name_;
        data.password = QStringLiteral("secret-") + name_;
        data.server = server_;
        return true;
    }
    int shown = 0;

private:
    QString name_;
    QString server_;
};

// Room dialogs answered from a script; menus and progress do nothing.
class ScriptedRoomDialogs : public IRoomDialogs {
public:
    std::optional<QString> AskNewRoomName() override { return Next(roomNames); }
    std::optional<QString> AskPrivateMessage(const QString&) override { return Next(messages); }
    void ShowFind(PeopleSearch&) override {}
    QAction* ExecMenu(QMenu&, const QPoint&) override { return nullptr; }
    void ShowProgress(const QString&) override {}
    void HideProgress() override {}

    std::deque<QString> roomNames;
    std::deque<QString> messages;

private:
    static std::optional<QString> Next(std::deque<QString>& q) {
        if (q.empty()) return std::nullopt;
        QString v = q.front();
        q.pop_front();
        return v;
    }
};

// Where a service answers: its login and service ports and web site.
struct ServicePorts {
    int login = 0;
    int service = 0;
    QString web;
};

// One person's client: the real window operations against zorvid, with recording fakes
// only for message boxes, dialogs and the desktop.
struct E2EClient {
    // `server` is the address typed into the login dialog; `adjust` changes the window's
    // services after the defaults for `zorvid` are set.
    E2EClient(const ZorvidProcess& zorvid, const QString& name,
              const QString& server = QStringLiteral("127.0.0.1"),
              const std::function<void(WindowServices&)>& adjust = {})
        : E2EClient(ServicePorts{zorvid.loginPort(), zorvid.servicePort(), zorvid.webUrl()}, name,
                    server, adjust) {}
    E2EClient(const ServicePorts& ports, const QString& name, const QString& server,
              const std::function<void(WindowServices&)>& adjust = {});

    bool LogIn() { return login.LoginSequence(); }
    // Selects the channel-list row of `room` and changes into it.
    bool ChangeInto(const QString& room);
    // Selects `name` in the user list; false when it is not listed.
    bool SelectPerson(const QString& name);
    QString Conversation() const;
    bool Hears(const QString& text) const { return Conversation().contains(text); }

    TestWindow tw;
    TypedLogin loginDialog;
    ScriptedRoomDialogs dialogs;
    LoginOps login;
    EffectOps effects;
    RoomOps rooms;

    CKestrivanDlg& w() { return tw.w(); }
};

inline ServicePorts Ports(const ZorvidProcess& zorvid) {
    return {zorvid.loginPort(), zorvid.servicePort(), zorvid.webUrl()};
}

// Two people log in (with the version check) through `server`, one creates a room, the other
// joins, a line crosses each way and one finds the other.
void MeetTalkAndFind(const ServicePorts& ports, const QString& server,
                     const std::function<void(WindowServices&)>& adjust = {});
