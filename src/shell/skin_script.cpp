#include "shell/skin_script.h"

#include <QStringList>

QList<SkinStatement> ParseSkinScript(const QString& command) {
    QList<SkinStatement> statements;
    const QStringList parts = command.split(QLatin1Char(';'));
    for (const QString& part : parts) {
        const QStringList words = part.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() == 1 && words[0] == QLatin1String("stop")) {
            statements.push_back({SkinStatement::Kind::Stop, {}, {}});
        } else if (words.size() == 3 && words[0] == QLatin1String("goto")) {
            statements.push_back({SkinStatement::Kind::Goto, words[1], words[2]});
        }
    }
    return statements;
}
