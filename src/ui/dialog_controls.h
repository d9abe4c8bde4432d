#pragma once

class QWidget;

// Dialog controls keep the numeric identifiers of their templates, so that code written
// in terms of identifiers (the More/Less toggle) can find them.
namespace dialog_controls {

void SetControlId(QWidget* control, int id);
// The direct child of `dialog` with that identifier, or null.
QWidget* FindControl(const QWidget& dialog, int id);

}  // namespace dialog_controls
