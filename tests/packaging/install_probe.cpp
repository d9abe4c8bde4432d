// Prints where the program finds its files, as the machine settings file names them: the
// installation folder and the help file, each resolved the way the program does. The
// package test runs it against the settings file that the package installed.
#include <QCoreApplication>
#include <QTextStream>

#include "app/install_paths.h"
#include "app/settings_store.h"
#include "shell/shell_texts.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const SettingsStore settings;
    const QString folder = settings.InstallFolder();
    // The help topic names the file, then "::" and the page within it.
    QString help = folder + shell_texts::HelpTopicSuffix();
    help.truncate(help.indexOf(QLatin1String("::")));
    QTextStream out(stdout);
    out << "machine-file=" << settings.machineFile() << '\n'
        << "install-folder=" << folder << '\n'
        << "help=" << help << '\n'
        << "server-list=" << ServerListReadPath(settings) << '\n';
    return 0;
}
