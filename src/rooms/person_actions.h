#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <optional>

#include "rooms/room_context.h"

class QMenu;

// What the user can do to one person of the user list: a private message, a beep, and for
// the room's owner an effect or the room itself.
class PersonActions : public QObject {
    Q_OBJECT

public:
    explicit PersonActions(RoomContext& ctx, QObject* parent = nullptr);

    // Wires the user list's double click and the window's context-menu requests.
    void Attach();

    void OnUserDoubleClick();
    void OnMessageCommand();
    void SendBeep();
    void OnGiveOwnership();
    // `screenPos` is empty for a request from the keyboard.
    void ShowPersonMenu(const std::optional<QPoint>& screenPos);
    void SendPrivateMessage(const QString& message, const QString& recipient);

    // Menu 150 with its four items; the owner-only ones enabled as `isOwner` says.
    static void BuildPersonMenu(QMenu& menu, bool isOwner);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MessageSelected();

    RoomContext& ctx_;
};
