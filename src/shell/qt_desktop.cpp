#include "shell/qt_desktop.h"

#include <QDesktopServices>
#include <QUrl>

#include "shell/help_window.h"

QtDesktop::~QtDesktop() { delete help_.data(); }

void QtDesktop::OpenUrl(const QString& address) {
    // The result is not waited for or checked: a browser that fails reports on its own.
    QDesktopServices::openUrl(QUrl(address));
}

void QtDesktop::ShowHelp(const QString& helpPath) {
    if (!help_) help_ = new HelpWindow([](const QUrl& url) { QDesktopServices::openUrl(url); });
    help_->Open(helpPath);
    help_->show();
    help_->raise();
    help_->activateWindow();
}
