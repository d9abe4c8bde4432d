#pragma once

#include <QPointer>

#include "rooms/room_dialogs.h"

class IMessageBox;
class CProgressDlg;
class QWidget;

// The room dialogs as real modal Qt dialogs over the main window.
class QtRoomDialogs : public IRoomDialogs {
public:
    QtRoomDialogs(QWidget* parent, IMessageBox* box);
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
    QPointer<CProgressDlg> progress_;
};
