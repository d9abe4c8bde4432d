#pragma once

#include <QList>
#include <QString>

// One statement of a skin command: "stop", or "goto ELEMENT STATE".
struct SkinStatement {
    enum class Kind { Stop, Goto };
    Kind kind = Kind::Stop;
    QString element;
    QString state;

    bool operator==(const SkinStatement&) const = default;
};

// Splits a command into its statements. Statements are separated by ";" with or without
// blanks around them; blank statements are skipped and anything that is neither a "stop" nor
// a three-word "goto" is dropped, so a malformed command can never do something else.
QList<SkinStatement> ParseSkinScript(const QString& command);
