#pragma once

#include <QString>

// What an ASX playlist points at: the href of the first Ref of its first Entry, resolved
// against the playlist's Base when it is relative.
struct AsxReference {
    bool ok = false;
    QString href;
    QString error;  // why there is no reference, for diagnostics
};

// Reads ASX with a real XML parser. Element names are matched ignoring case, as ASX
// files written by hand mix them freely.
AsxReference ReadAsxReference(const QByteArray& content);
AsxReference ReadAsxFile(const QString& path);
