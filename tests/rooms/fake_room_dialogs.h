#pragma once

#include <QAction>
#include <QMenu>
#include <QStringList>
#include <deque>
#include <optional>

#include "rooms/people_search.h"
#include "rooms/room_dialogs.h"

// Answers the room dialogs from a script and records what was asked.
class FakeRoomDialogs : public IRoomDialogs {
public:
    std::optional<QString> AskNewRoomName() override {
        ++newRoomAsked;
        return Next(newRoomAnswers);
    }
    std::optional<QString> AskPrivateMessage(const QString& recipient) override {
        messageRecipients << recipient;
        return Next(messageAnswers);
    }
    void ShowFind(PeopleSearch& search) override { findSearch = &search; }
    QAction* ExecMenu(QMenu& menu, const QPoint& at) override {
        ++menusShown;
        menuAt = at;
        menuItems.clear();
        QAction* chosen = nullptr;
        for (QAction* a : menu.actions()) {
            menuItems << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (grayed)"));
            if (a->objectName() == menuChoice) chosen = a;
        }
        return chosen;
    }
    void ShowProgress(const QString& text) override { progressShown << text; }
    void HideProgress() override { ++progressHidden; }

    std::deque<std::optional<QString>> newRoomAnswers;  // nothing = Cancel
    std::deque<std::optional<QString>> messageAnswers;
    int newRoomAsked = 0;
    QStringList messageRecipients;
    PeopleSearch* findSearch = nullptr;
    QString menuChoice;  // objectName of the item to choose
    int menusShown = 0;
    QPoint menuAt;
    QStringList menuItems;
    QStringList progressShown;
    int progressHidden = 0;

private:
    static std::optional<QString> Next(std::deque<std::optional<QString>>& answers) {
        if (answers.empty() || !answers.front().has_value()) {
            if (!answers.empty()) answers.pop_front();
            return std::nullopt;
        }
        const QString a = *answers.front();
        answers.pop_front();
        return a;
    }
};
