#include "rooms/user_list_box.h"

#include "rooms/user_entry_delegate.h"

CUserListBox::CUserListBox(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("userList"));
    setAccessibleName(QStringLiteral("People in the room"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setSortingEnabled(false);  // insertion keeps the order; see AddColoredName
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setItemDelegate(new UserEntryDelegate(this));
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::white);
    setPalette(p);
}

int CUserListBox::AddColoredName(const QString& name, quint32 colour) {
    // After the last entry that sorts before or equal to the name, letter case ignored.
    int at = 0;
    const int n = count();
    while (at < n && QString::compare(item(at)->text(), name, Qt::CaseInsensitive) <= 0) ++at;
    auto* entry = new QListWidgetItem(name);
    entry->setData(UserEntryDelegate::kColourRole, colour);
    entry->setData(Qt::AccessibleTextRole, name);
    insertItem(at, entry);
    return at;
}

bool CUserListBox::RemoveNameIgnoringCase(const QString& name) {
    for (int i = 0; i < count(); ++i) {
        if (QString::compare(item(i)->text(), name, Qt::CaseInsensitive) == 0) {
            delete takeItem(i);
            return true;
        }
    }
    return false;
}

void CUserListBox::Clear() { clear(); }

int CUserListBox::Count() const { return count(); }

QString CUserListBox::Text(int index) const {
    const QListWidgetItem* entry = item(index);
    return entry ? entry->text() : QString();
}

quint32 CUserListBox::Colour(int index) const {
    const QListWidgetItem* entry = item(index);
    return entry ? entry->data(UserEntryDelegate::kColourRole).toUInt() : 0;
}

int CUserListBox::SelectedIndex() const {
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.first());
}

void CUserListBox::Select(int index) {
    if (index < 0 || index >= count()) {
        clearSelection();
        setCurrentRow(-1);
        return;
    }
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

void CUserListBox::RedrawNow() { viewport()->repaint(); }

void CUserListBox::SetFocus() { setFocus(Qt::OtherFocusReason); }
