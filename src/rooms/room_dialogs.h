#pragma once

#include <QPoint>
#include <QString>
#include <optional>

class QAction;
class QMenu;
class PeopleSearch;

// The modal and modeless windows that the room operations open. The program binds them to
// Qt dialogs (QtRoomDialogs); tests bind a recording fake that answers from a script.
class IRoomDialogs {
public:
    virtual ~IRoomDialogs() = default;
    // "Create New room": the entered name, or nothing when cancelled.
    virtual std::optional<QString> AskNewRoomName() = 0;
    // "Private Message" to `recipient`: the typed message, or nothing when cancelled.
    virtual std::optional<QString> AskPrivateMessage(const QString& recipient) = 0;
    // "Find people", modal, with `search` doing the look-ups.
    virtual void ShowFind(PeopleSearch& search) = 0;
    // Runs a pop-up menu at a screen position; the chosen action or null.
    virtual QAction* ExecMenu(QMenu& menu, const QPoint& screenPos) = 0;
    // The small progress window with one line of text.
    virtual void ShowProgress(const QString& text) = 0;
    virtual void HideProgress() = 0;
};
