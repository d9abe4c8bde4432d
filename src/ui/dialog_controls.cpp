#include "ui/dialog_controls.h"

#include <QVariant>
#include <QWidget>

namespace dialog_controls {

namespace {
constexpr char kIdProperty[] = "controlId";
}

void SetControlId(QWidget* control, int id) { control->setProperty(kIdProperty, id); }

QWidget* FindControl(const QWidget& dialog, int id) {
    const auto children = dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        const QVariant v = child->property(kIdProperty);
        if (v.isValid() && v.toInt() == id) return child;
    }
    return nullptr;
}

}  // namespace dialog_controls
