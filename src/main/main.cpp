// Start-up: one copy per user, the automation layer when asked for, the login sequence,
// then the main window until it closes.
#include <QApplication>
#include <QPalette>
#include <csignal>

#include "app/automation_switch.h"
#include "app/endpoints.h"
#include "app/settings_store.h"
#include "app/single_instance.h"
#include "app/startup_texts.h"
#include "chat/kestrivan_dlg.h"
#include "chat/qt_message_box.h"
#include "shell/automation_factory.h"
#include "shell/kestrivan_assembly.h"
#include "shell/start_automation.h"

namespace {

// Every dialog of the program: white background, black text.
void UseWhiteDialogs(QApplication& app) {
    QPalette palette = app.palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    app.setPalette(palette);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrivan"));
    QApplication::setOrganizationName(QStringLiteral("Marquent"));
    // The main window may be hidden while automation holds it: only its end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QtMessageBox box;

    SingleInstanceGuard guard;
    if (guard.Acquire() == SingleInstanceGuard::Result::AlreadyRunning) {
        box.Show(startup_texts::AlreadyStarted());
        return 0;
    }

    // A peer that closes its end must never end the program with SIGPIPE.
    if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
        box.Show(startup_texts::SocketsFailed());
        return 0;
    }

    const bool automation = FindAutomationSwitch(app.arguments()) != AutomationSwitch::None;
    AutomationFactory factory;
    if (!StartAutomation(automation, factory)) {
        box.Show(startup_texts::ComponentsFailed());
        return 0;
    }

    UseWhiteDialogs(app);

    SettingsStore settings;
    KestrivanAssembly assembly(settings, Endpoints::Load(settings));
    assembly.AttachAutomation(factory);
    if (!assembly.LoginSequence()) return 0;

    assembly.Run();
    return 0;
}
