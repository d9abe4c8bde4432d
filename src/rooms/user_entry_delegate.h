#pragma once

#include <QColor>
#include <QPalette>
#include <QStyledItemDelegate>

// Draws one entry of the user list in the entry's own colour.
class UserEntryDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // The entry's colour word (blue-green-red, 0 = default) is kept under this role.
    static constexpr int kColourRole = Qt::UserRole;

    using QStyledItemDelegate::QStyledItemDelegate;

    struct Colours {
        QColor text;
        QColor background;
    };
    // Text and background of an entry: its own colour while unselected, the highlight
    // colours while selected, the window-text colour for the default; white behind an
    // unselected entry.
    static Colours EntryColours(quint32 colour, bool selected, const QPalette& palette);
    static QColor FromBgr(quint32 colour);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    void DrawEntry(QPainter* painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const;
};
