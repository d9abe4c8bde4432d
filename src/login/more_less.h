#pragma once

class QString;
class QWidget;

// Collapses or expands `dialog` at one of two invisible marker controls. `captions` holds
// the collapsed caption and the expanded caption separated by a line feed. When the
// toggle button shows the collapsed caption the dialog expands to the expanded marker,
// otherwise it collapses to the collapsed marker. Children below the chosen marker are
// disabled as well as cut off.
void ToggleMoreLess(QWidget& dialog, int collapsedMarkerId, int expandedMarkerId, int toggleId,
                    const QString& captions);
