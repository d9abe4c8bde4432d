#pragma once

#include <QString>

// The conversation's texts keep Windows line ends ("\r\n"); the display holds one line
// break for each. A lone carriage return is an invisible control character there.
inline QString DisplayForm(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.remove(QLatin1Char('\r'));
    return text;
}
