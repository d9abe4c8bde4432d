#pragma once

#include <QString>

class AutomationFactory;

// Start-up's part of automation. Started with the automation switch, the program connects
// to the session bus, registers the factory and takes the name "Kestrivan.Application";
// false when any of that fails (start-up then ends with its component-layer message).
// On an ordinary start it refreshes the service file in `serviceFolder` so that a client
// can start the program, and answers true: a desktop without a session bus runs on
// without automation.
bool StartAutomation(bool automationSwitch, AutomationFactory& factory, const QString& programPath,
                     const QString& serviceFolder);
bool StartAutomation(bool automationSwitch, AutomationFactory& factory);
