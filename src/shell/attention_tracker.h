#pragma once

#include <QString>

#include "net/cmsg.h"

class INotifier;

// Decides what deserves the user's attention while the window is hidden or not active: a
// private message, a beep, or a line that names the user raise a notification naming the
// sender; ordinary lines raise none. Counts the lines that arrived meanwhile for the tray
// tool tip. Plain logic: the window's state is handed in.
class AttentionTracker {
public:
    explicit AttentionTracker(INotifier& notifier) : notifier_(notifier) {}

    // One record from the chat host. `away`: the window is hidden, minimised or not active.
    void OnRecord(const CMsg& msg, const QString& nickname, bool away);
    // The user looks at the window again: nothing is unread.
    void Seen() { unread_ = 0; }

    int unread() const { return unread_; }
    // "Zorvi" with nothing unread, else "Zorvi: 3 unread".
    QString TrayTip() const;

    // Whether `line` (a room line "name: text") names `nickname` in its text, as a word and
    // in any letter case. The user's own lines never do.
    static bool NamesUser(const QString& line, const QString& nickname);

private:
    INotifier& notifier_;
    int unread_ = 0;
};
