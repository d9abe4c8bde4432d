#pragma once

#include <QPointer>
#include <functional>
#include <memory>

#include "rooms/room_dialogs.h"

class IMessageBox;
class QWidget;

// The room dialogs as real modal Qt dialogs over the main window.
class QtRoomDialogs : public IRoomDialogs {
public:
    // `makeProgress` builds the progress window with its text (not yet shown); without it
    // no progress window appears.
    using ProgressFactory = std::function<QWidget*(const QString& text, QWidget* parent)>;

    QtRoomDialogs(QWidget* parent, IMessageBox* box, ProgressFactory makeProgress = {});
    ~QtRoomDialogs() override;

    std::optional<QString> AskNewRoomName() override;
    std::optional<QString> AskPrivateMessage(const QString& recipient) override;
    void ShowFind(PeopleSearch& search) override;
    QAction* ExecMenu(QMenu& menu, const QPoint& screenPos) override;
    void ShowProgress(const QString& text) override;
    void HideProgress() override;

private:
    QWidget* parent_;
    IMessageBox* box_;
    ProgressFactory makeProgress_;
    QPointer<QWidget> progress_;
};
