#include "rooms/user_entry_delegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

QColor UserEntryDelegate::FromBgr(quint32 colour) {
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

UserEntryDelegate::Colours UserEntryDelegate::EntryColours(quint32 colour, bool selected,
                                                           const QPalette& palette) {
    Colours c;
    if (colour != 0 && !selected) {
        c.text = FromBgr(colour);
    } else {
        c.text = palette.color(selected ? QPalette::HighlightedText : QPalette::WindowText);
    }
    c.background = selected ? palette.color(QPalette::Highlight) : QColor(Qt::white);
    return c;
}

void UserEntryDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    DrawEntry(painter, option, index);
}

void UserEntryDelegate::DrawEntry(QPainter* painter, const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    if (!index.isValid()) return;
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const quint32 colour = index.data(kColourRole).toUInt();
    const Colours colours = EntryColours(colour, selected, option.palette);
    const QString text = index.data(Qt::DisplayRole).toString();

    painter->save();
    painter->setFont(option.font);
    // Only the cells behind the text take the background; the rest of the row stays as
    // the list paints it.
    const QRect textRect = painter->fontMetrics().boundingRect(
        option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->fillRect(textRect, colours.background);
    painter->setPen(colours.text);
    painter->drawText(option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);

    if (selected) {
        QStyleOptionFocusRect focus;
        if (option.widget) focus.initFrom(option.widget);
        focus.rect = option.rect;
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = colours.background;
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
    painter->restore();
}
