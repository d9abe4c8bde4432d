#include "rooms/person_actions.h"

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>

#include "chat/kestrivan_dlg.h"
#include "chat/user_list.h"
#include "net/protocol.h"
#include "rooms/room_dialogs.h"
#include "rooms/room_texts.h"

PersonActions::PersonActions(RoomContext& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {}

void PersonActions::Attach() {
    ctx_.w.installEventFilter(this);
    if (auto* list = qobject_cast<QListWidget*>(ctx_.w.m_userListWidget)) {
        connect(list, &QListWidget::itemDoubleClicked, this, &PersonActions::OnUserDoubleClick);
    }
}

bool PersonActions::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &ctx_.w && event->type() == QEvent::ContextMenu) {
        auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        std::optional<QPoint> at;
        if (menuEvent->reason() != QContextMenuEvent::Keyboard) at = menuEvent->globalPos();
        ShowPersonMenu(at);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PersonActions::MessageSelected() {
    IUserList* users = ctx_.w.m_userList;
    const int selected = users->SelectedIndex();
    if (selected < 0) return;
    const QString recipient = users->Text(selected);
    const std::optional<QString> message = ctx_.dialogs.AskPrivateMessage(recipient);
    if (message && !message->isEmpty()) SendPrivateMessage(*message, recipient);
}

// The platform only reports a double click on an entry, so an empty selection here means
// the list changed in between; doing nothing then matches the menu command.
void PersonActions::OnUserDoubleClick() { MessageSelected(); }

void PersonActions::OnMessageCommand() { MessageSelected(); }

void PersonActions::SendPrivateMessage(const QString& message, const QString& recipient) {
    auto& w = ctx_.w;
    CMsg msg(code1::kRequest, code2::kPrivateMessage);
    msg.text = ToWire(message);
    msg.list = {ToWire(recipient), ToWire(w.nickname())};
    auto* chat = w.m_pChatSocket.get();
    if (!chat || !chat->HasOutputWriter()) {
        w.ShowMessage(RoomTexts::kPrivateMessageError);
        return;
    }
    if (CKestrivanDlg::ContainsBadWord(message)) {
        w.ShowMessage(RoomTexts::kBadWord);
        return;
    }
    try {
        chat->SendMsg(msg);
    } catch (const zorvi::StreamFailure&) {
        w.ShowMessage(RoomTexts::kUnableSend);
        return;
    }
    w.AppendChatLine(QStringLiteral("->") + recipient + QStringLiteral(": ") + message);
}

void PersonActions::SendBeep() {
    auto& w = ctx_.w;
    IUserList* users = w.m_userList;
    const int selected = users->SelectedIndex();
    if (selected < 0) return;
    w.BeepPerson(users->Text(selected));
}

void PersonActions::OnGiveOwnership() { ctx_.w.OnAssignOwner(); }

void PersonActions::BuildPersonMenu(QMenu& menu, bool isOwner) {
    menu.setObjectName(QStringLiteral("USERLIST_POPUP"));
    const struct {
        const QString& text;
        const char* name;
        bool ownerOnly;
    } items[] = {
        {RoomTexts::kMenuMessage, "messageAction", false},
        {RoomTexts::kMenuBeep, "beepAction", false},
        {RoomTexts::kMenuSendEffect, "sendEffectAction", true},
        {RoomTexts::kMenuGiveOwnership, "giveOwnershipAction", true},
    };
    for (const auto& item : items) {
        QAction* action = menu.addAction(item.text);
        action->setObjectName(QString::fromLatin1(item.name));
        action->setEnabled(!item.ownerOnly || isOwner);
    }
}

void PersonActions::ShowPersonMenu(const std::optional<QPoint>& screenPos) {
    auto& w = ctx_.w;
    IUserList* users = w.m_userList;
    users->SetFocus();
    if (users->SelectedIndex() < 0) return;
    if (!screenPos) return;
    QWidget* listWidget = w.m_userListWidget;
    if (!listWidget) return;
    const QRect listOnScreen(listWidget->mapToGlobal(QPoint(0, 0)), listWidget->size());
    if (!listOnScreen.contains(*screenPos)) return;

    QMenu menu(&w);
    BuildPersonMenu(menu, w.isOwner());
    QAction* chosen = ctx_.dialogs.ExecMenu(menu, *screenPos);
    if (!chosen || !chosen->isEnabled()) return;
    const QString name = chosen->objectName();
    if (name == QLatin1String("messageAction")) {
        OnMessageCommand();
    } else if (name == QLatin1String("beepAction")) {
        SendBeep();
    } else if (name == QLatin1String("sendEffectAction")) {
        if (ctx_.sendEffect) ctx_.sendEffect();
    } else if (name == QLatin1String("giveOwnershipAction")) {
        OnGiveOwnership();
    }
}
