#include "rooms/qt_room_dialogs.h"

#include <QMenu>
#include <QWidget>

#include "rooms/find_dlg.h"
#include "rooms/new_room_dlg.h"
#include "rooms/private_message_dlg.h"
#include "ui/progress_dlg.h"

QtRoomDialogs::QtRoomDialogs(QWidget* parent, IMessageBox* box) : parent_(parent), box_(box) {}

QtRoomDialogs::~QtRoomDialogs() { HideProgress(); }

std::optional<QString> QtRoomDialogs::AskNewRoomName() {
    CNewRoomDlg dlg(parent_);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.m_newRoomName;
}

std::optional<QString> QtRoomDialogs::AskPrivateMessage(const QString& recipient) {
    CPrivateMessageDlg dlg(box_, parent_);
    dlg.m_recipient = recipient;
    dlg.LoadMembers();
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.m_message;
}

void QtRoomDialogs::ShowFind(PeopleSearch& search) {
    CFindDlg dlg(parent_);
    dlg.SetSearch(&search);
    dlg.exec();
}

QAction* QtRoomDialogs::ExecMenu(QMenu& menu, const QPoint& screenPos) {
    return menu.exec(screenPos);
}

void QtRoomDialogs::ShowProgress(const QString& text) {
    HideProgress();
    progress_ = new CProgressDlg(text, parent_);
    progress_->Show();
}

void QtRoomDialogs::HideProgress() {
    if (!progress_) return;
    progress_->End();
    delete progress_.data();
    progress_ = nullptr;
}
