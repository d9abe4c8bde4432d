#include "shell/wing_shortcuts.h"

#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

void WingShortcuts::Install(QWidget& window, const Press& press) {
    for (const Wing& wing : kWings) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromLatin1(wing.keys)), &window);
        shortcut->setObjectName(QStringLiteral("shortcut ") + QString::fromLatin1(wing.element));
        const QString element = QString::fromLatin1(wing.element);
        QObject::connect(shortcut, &QShortcut::activated, &window,
                         [press, element] { press(element); });
    }
}
