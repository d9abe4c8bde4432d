#include "shell/start_automation.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include "shell/automation_factory.h"
#include "shell/automation_service_file.h"

bool StartAutomation(bool automationSwitch, AutomationFactory& factory, const QString& programPath,
                     const QString& serviceFolder) {
    if (automationSwitch) return factory.Register(QDBusConnection::sessionBus());
    // A failed refresh only means no client can start the program; it runs on.
    AutomationServiceFile::Refresh(serviceFolder, programPath);
    return true;
}

bool StartAutomation(bool automationSwitch, AutomationFactory& factory) {
    return StartAutomation(automationSwitch, factory, QCoreApplication::applicationFilePath(),
                           AutomationServiceFile::DefaultFolder());
}
