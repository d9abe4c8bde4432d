#include "rooms/private_message_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/seams.h"
#include "rooms/enter_presses_default.h"
#include "rooms/room_texts.h"
#include "ui/dialog_units.h"

CPrivateMessageDlg::CPrivateMessageDlg(IMessageBox* box, QWidget* parent)
    : QDialog(parent), box_(box) {
    setObjectName(QStringLiteral("CPrivateMessageDlg"));
    setWindowTitle(RoomTexts::kPrivateMessageCaption);
    setFont(DialogUnits::TemplateFont(8));
    const DialogUnits du(font());

    auto* sender = new QLabel(RoomTexts::kSenderLabel, this);
    sender->setObjectName(QStringLiteral("senderLabel"));
    sender->setTextFormat(Qt::PlainText);
    du.Place(sender, 7, 9, 28, 8);

    recipientEdit_ = new QLineEdit(this);
    recipientEdit_->setObjectName(QStringLiteral("recipientEdit"));
    recipientEdit_->setAccessibleName(RoomTexts::kSenderLabel);
    recipientEdit_->setReadOnly(true);
    du.Place(recipientEdit_, 38, 7, 120, 12);
    sender->setBuddy(recipientEdit_);

    messageEdit_ = new QPlainTextEdit(this);
    messageEdit_->setObjectName(QStringLiteral("messageEdit"));
    messageEdit_->setAccessibleName(RoomTexts::kPrivateMessageCaption);
    messageEdit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    messageEdit_->setTabChangesFocus(true);
    du.Place(messageEdit_, 7, 24, 151, 52);
    connect(messageEdit_, &QPlainTextEdit::textChanged, this, &CPrivateMessageDlg::KeepWithinLimit);

    auto* send = new QPushButton(RoomTexts::kSend, this);
    send->setObjectName(QStringLiteral("sendButton"));
    send->setAccessibleName(RoomTexts::kSend);
    send->setDefault(true);
    du.Place(send, 54, 82, 50, 14);
    connect(send, &QPushButton::clicked, this, &CPrivateMessageDlg::accept);

    auto* cancel = new QPushButton(RoomTexts::kCancel, this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAccessibleName(RoomTexts::kCancel);
    du.Place(cancel, 108, 82, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CPrivateMessageDlg::reject);

    new EnterPressesDefault(messageEdit_, [send] { send->click(); });
    setFixedSize(du.X(165), du.Y(103));
    messageEdit_->setFocus();
}

void CPrivateMessageDlg::LoadMembers() {
    recipientEdit_->setText(m_recipient);
    messageEdit_->setPlainText(m_message.left(kPrivateMessageLimit));
}

void CPrivateMessageDlg::accept() {
    m_message = messageEdit_->toPlainText();
    m_recipient = recipientEdit_->text();
    QDialog::accept();
}

// Whatever was typed or pasted past the limit is cut from the inserted run, so the text
// keeps its first 250 characters and the caret stays where the insertion ended.
void CPrivateMessageDlg::KeepWithinLimit() {
    if (trimming_) return;
    const QString now = messageEdit_->toPlainText();
    if (now.size() <= kPrivateMessageLimit) {
        lastText_ = now;
        return;
    }
    qsizetype prefix = 0;
    const qsizetype common = qMin(now.size(), lastText_.size());
    while (prefix < common && now[prefix] == lastText_[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < common - prefix &&
           now[now.size() - 1 - suffix] == lastText_[lastText_.size() - 1 - suffix])
        ++suffix;
    const qsizetype inserted = now.size() - prefix - suffix;
    const qsizetype room = qMax<qsizetype>(kPrivateMessageLimit - (now.size() - inserted), 0);
    QString kept = now.left(prefix) + now.mid(prefix, qMin(inserted, room)) + now.right(suffix);
    kept.truncate(kPrivateMessageLimit);

    trimming_ = true;
    messageEdit_->setPlainText(kept);
    QTextCursor caret = messageEdit_->textCursor();
    caret.setPosition(int(qMin<qsizetype>(prefix + qMin(inserted, room), kept.size())));
    messageEdit_->setTextCursor(caret);
    trimming_ = false;
    lastText_ = kept;
    OnMessageFull();
}

void CPrivateMessageDlg::OnMessageFull() {
    if (box_)
        box_->Show(QString(RoomTexts::kMessageTooLong)
                       .replace(QStringLiteral("%d"), QString::number(kPrivateMessageLimit)));
}
