#pragma once

#include <QStringList>

// The switches with which an automation client starts the program.
enum class AutomationSwitch { None, Embedding, Automation };

// Looks through the arguments after the program's name for "Embedding" or "Automation",
// introduced by '-' or '/' and compared without regard to case. The first one found wins.
AutomationSwitch FindAutomationSwitch(const QStringList& arguments);
