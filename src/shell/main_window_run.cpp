#include "shell/main_window_run.h"

#include <QDialog>
#include <QEventLoop>
#include <QPointer>

int RunMainWindow(QDialog& window) {
    QEventLoop loop;
    QObject::connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(&window, &QObject::destroyed, &loop, &QEventLoop::quit);
    QPointer<QDialog> guard(&window);
    window.show();
    loop.exec(QEventLoop::DialogExec);
    return guard ? guard->result() : QDialog::Rejected;
}
