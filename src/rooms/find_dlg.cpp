#include "rooms/find_dlg.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "rooms/enter_presses_default.h"
#include "rooms/people_search.h"
#include "rooms/room_texts.h"
#include "ui/dialog_units.h"

namespace {
QLabel* MakeLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}
}  // namespace

CFindDlg::CFindDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CFindDlg"));
    setWindowTitle(RoomTexts::kFindCaption);
    setFont(DialogUnits::TemplateFont(8));
    const DialogUnits du(font());

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("lookUpFrame"));
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    du.Place(frame, 7, 7, 144, 67);

    auto* prompt = MakeLabel(RoomTexts::kFindPrompt, "nicknameLabel", this);
    du.Place(prompt, 11, 9, 82, 8);

    nicknameEdit_ = new QLineEdit(this);
    nicknameEdit_->setObjectName(QStringLiteral("nicknameEdit"));
    nicknameEdit_->setAccessibleName(RoomTexts::kFindPrompt);
    du.Place(nicknameEdit_, 11, 19, 97, 12);
    prompt->setBuddy(nicknameEdit_);

    auto* find = new QPushButton(RoomTexts::kFindButton, this);
    find->setObjectName(QStringLiteral("findButton"));
    find->setAccessibleName(RoomTexts::kFindButton);
    find->setDefault(true);
    find->setAutoDefault(true);
    du.Place(find, 114, 19, 30, 14);
    connect(find, &QPushButton::clicked, this, &CFindDlg::OnFind);

    auto* resultLabel = MakeLabel(RoomTexts::kResultLabel, "resultLabel", this);
    du.Place(resultLabel, 11, 32, 71, 8);

    resultEdit_ = new QPlainTextEdit(this);
    resultEdit_->setObjectName(QStringLiteral("resultEdit"));
    resultEdit_->setAccessibleName(RoomTexts::kResultLabel);
    resultEdit_->setReadOnly(true);
    du.Place(resultEdit_, 11, 42, 134, 24);
    resultLabel->setBuddy(resultEdit_);

    auto* messageLabel = MakeLabel(RoomTexts::kMessageToUser, "messageLabel", this);
    du.Place(messageLabel, 7, 77, 55, 8);

    messageEdit_ = new QPlainTextEdit(this);
    messageEdit_->setObjectName(QStringLiteral("messageEdit"));
    messageEdit_->setAccessibleName(RoomTexts::kMessageToUser);
    messageEdit_->setTabChangesFocus(true);
    du.Place(messageEdit_, 7, 86, 112, 31);
    messageLabel->setBuddy(messageEdit_);
    new EnterPressesDefault(messageEdit_, [find] { find->click(); });

    auto* close = new QPushButton(RoomTexts::kClose, this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setAccessibleName(RoomTexts::kClose);
    close->setAutoDefault(false);
    du.Place(close, 122, 103, 29, 14);
    connect(close, &QPushButton::clicked, this, &CFindDlg::reject);

    setFixedSize(du.X(158), du.Y(124));
    nicknameEdit_->setFocus();
}

void CFindDlg::OnFind() {
    const QString nickname = nicknameEdit_->text();
    if (nickname.isEmpty()) return;
    if (!search_) {
        resultEdit_->setPlainText(RoomTexts::kFindError);
        return;
    }
    const QString room = search_->FindUser(nickname);
    if (room.isEmpty()) {
        resultEdit_->setPlainText(nickname + RoomTexts::kNotInAnyRoom);
        return;
    }
    resultEdit_->setPlainText(nickname + RoomTexts::kInRoomPrefix + room +
                              RoomTexts::kInRoomSuffix);
    const QString message = messageEdit_->toPlainText();
    if (message.isEmpty()) return;
    search_->SendToFoundUser(nickname, room, message);
    messageEdit_->clear();
    resultEdit_->setPlainText(nickname + RoomTexts::kInRoomPrefix + room +
                              RoomTexts::kMessageSentSuffix);
}
