#include "rooms/new_room_dlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "rooms/room_texts.h"
#include "ui/dialog_units.h"

CNewRoomDlg::CNewRoomDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CNewRoomDlg"));
    setWindowTitle(RoomTexts::kNewRoomCaption);
    setFont(DialogUnits::TemplateFont(8));
    const DialogUnits du(font());

    auto* prompt = new QLabel(RoomTexts::kNewRoomPrompt, this);
    prompt->setObjectName(QStringLiteral("newRoomPrompt"));
    prompt->setTextFormat(Qt::PlainText);
    du.Place(prompt, 7, 7, 150, 8);

    nameEdit_ = new QLineEdit(this);
    nameEdit_->setObjectName(QStringLiteral("newRoomNameEdit"));
    nameEdit_->setAccessibleName(RoomTexts::kNewRoomPrompt);
    nameEdit_->setMaxLength(kNewRoomNameLimit);
    du.Place(nameEdit_, 7, 18, 172, 12);
    prompt->setBuddy(nameEdit_);

    auto* ok = new QPushButton(RoomTexts::kOk, this);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setAccessibleName(RoomTexts::kOk);
    ok->setDefault(true);
    du.Place(ok, 75, 38, 50, 14);
    connect(ok, &QPushButton::clicked, this, &CNewRoomDlg::accept);

    auto* cancel = new QPushButton(RoomTexts::kCancel, this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAccessibleName(RoomTexts::kCancel);
    du.Place(cancel, 129, 38, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CNewRoomDlg::reject);

    setFixedSize(du.X(186), du.Y(60));
    nameEdit_->setFocus();
}

void CNewRoomDlg::accept() {
    m_newRoomName = nameEdit_->text();
    QDialog::accept();
}
