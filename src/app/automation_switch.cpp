#include "app/automation_switch.h"

AutomationSwitch FindAutomationSwitch(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument.size() < 2 ||
            (argument[0] != QLatin1Char('-') && argument[0] != QLatin1Char('/')))
            continue;
        const QStringView name = QStringView(argument).mid(1);
        if (name.compare(QLatin1String("Embedding"), Qt::CaseInsensitive) == 0)
            return AutomationSwitch::Embedding;
        if (name.compare(QLatin1String("Automation"), Qt::CaseInsensitive) == 0)
            return AutomationSwitch::Automation;
    }
    return AutomationSwitch::None;
}
