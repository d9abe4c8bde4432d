#include "login/more_less.h"

#include <QAbstractButton>
#include <QStringList>
#include <QWidget>

#include "ui/dialog_controls.h"

namespace {

void GiveFocusToFirstControl(QWidget& dialog) {
    QWidget* focused = dialog.focusWidget();
    if (focused && focused->isEnabled() && focused->isVisibleTo(&dialog)) return;
    // Walk the focus chain from the dialog once round.
    for (QWidget* w = dialog.nextInFocusChain(); w && w != &dialog; w = w->nextInFocusChain()) {
        if (w->isEnabled() && w->isVisibleTo(&dialog) && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

}  // namespace

void ToggleMoreLess(QWidget& dialog, int collapsedMarkerId, int expandedMarkerId, int toggleId,
                    const QString& captions) {
    auto* toggle = qobject_cast<QAbstractButton*>(dialog_controls::FindControl(dialog, toggleId));
    QWidget* collapsed = dialog_controls::FindControl(dialog, collapsedMarkerId);
    QWidget* expanded = dialog_controls::FindControl(dialog, expandedMarkerId);
    if (!toggle || !collapsed || !expanded) return;

    const QStringList parts = captions.split(QLatin1Char('\n'));
    const QString collapsedCaption = parts.value(0);
    const QString expandedCaption = parts.value(1);

    QWidget* marker = nullptr;
    if (toggle->text() == collapsedCaption) {
        toggle->setText(expandedCaption);
        marker = expanded;
    } else {
        toggle->setText(collapsedCaption);
        marker = collapsed;
    }

    // The marker's top edge in the dialog's client area is the new client height.
    const int markerTop = marker->geometry().top();
    dialog.setFixedSize(dialog.width(), markerTop);

    const auto children = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) child->setEnabled(child->geometry().top() <= markerTop);

    GiveFocusToFirstControl(dialog);
}
