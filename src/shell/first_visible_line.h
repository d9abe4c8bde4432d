#pragma once

#include <QString>

class QPlainTextEdit;

// The text of the display line at the top of the view (a wrapped paragraph counts as several
// lines), at most `maxChars` characters; empty when the display is empty.
QString FirstVisibleLine(const QPlainTextEdit& display, int maxChars = 255);
