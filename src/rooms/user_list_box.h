#pragma once

#include <QListWidget>

#include "chat/user_list.h"

// The people of the current room: a sorted (letter case ignored), single-selection list
// whose entries each carry a colour, the room's owner in blue. Names are shown as plain
// text.
class CUserListBox : public QListWidget, public IUserList {
    Q_OBJECT

public:
    explicit CUserListBox(QWidget* parent = nullptr);

    int AddColoredName(const QString& name, quint32 colour) override;
    bool RemoveNameIgnoringCase(const QString& name) override;
    void Clear() override;
    int Count() const override;
    QString Text(int index) const override;
    quint32 Colour(int index) const override;
    int SelectedIndex() const override;
    void Select(int index) override;
    void RedrawNow() override;
    void SetFocus() override;
};
