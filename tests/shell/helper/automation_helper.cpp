// A stand-in for the program in the automation tests, and the client that drives it.
//
//   automation_helper              ordinary start: refreshes the service file, ends
//   automation_helper -Automation  started by the bus: serves the factory with a window
//   automation_helper --client     runs the scenarios against the session bus; prints OK
//
// The window side also exports "/Test" (interface "Kestrivan.Test") so that the client can
// close the window and ask whether it is visible.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <cstdio>
#include <memory>

#include "chat/kestrivan_dlg.h"
#include "shell/automation_factory.h"
#include "shell/automation_names.h"
#include "shell/automation_service_file.h"
#include "shell/main_window_run.h"
#include "shell/shell_ops.h"
#include "shell/start_automation.h"
#include "support/test_window.h"

namespace {

class AbsentTray : public ITrayIcon {
public:
    bool available() const override { return false; }
    void show(int, const QIcon&, const QString&) override {}
    void hide() override {}
    bool isShown() const override { return false; }
    int menu(const QStringList&, const QPoint&) override { return -1; }
    void setNotifyHandler(NotifyHandler) override {}
};

class TestControl : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Kestrivan.Test")

public:
    explicit TestControl(CKestrivanDlg& dlg) : dlg_(dlg) {}

public slots:
    Q_SCRIPTABLE void CloseWindow() { dlg_.close(); }
    Q_SCRIPTABLE bool IsVisible() { return dlg_.isVisible(); }
    Q_SCRIPTABLE bool IsHeld() { return dlg_.m_pAutoProxy != nullptr; }

private:
    CKestrivanDlg& dlg_;
};

int RunProgram(bool automationSwitch) {
    AutomationFactory factory;
    if (!StartAutomation(automationSwitch, factory)) return 3;
    if (!automationSwitch) return 0;

    TestWindow window;
    CKestrivanDlg& dlg = window.w();
    AbsentTray tray;
    ShellHooks hooks;
    hooks.saveTranscript = [] { return true; };
    ShellOps shell(dlg, tray, hooks);
    QObject::connect(&factory, &AutomationFactory::released, &shell,
                     &ShellOps::OnAutomationReleased);
    factory.AttachWindow(&dlg);
    TestControl control(dlg);
    QDBusConnection::sessionBus().registerObject(QStringLiteral("/Test"), &control,
                                                 QDBusConnection::ExportScriptableSlots);
    RunMainWindow(dlg);
    return 0;
}

// --- the client ---

QString g_failure;

bool Check(bool condition, const char* what) {
    if (!condition && g_failure.isEmpty()) g_failure = QString::fromLatin1(what);
    return condition;
}

bool ServiceRunning(const QDBusConnection& bus) {
    return bus.interface()
        ->isServiceRegistered(QString::fromLatin1(automation_names::kService))
        .value();
}

bool WaitUntilGone(const QDBusConnection& bus) {
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (!ServiceRunning(bus)) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return false;
}

std::unique_ptr<QDBusInterface> Factory(const QDBusConnection& bus) {
    auto iface = std::make_unique<QDBusInterface>(
        QString::fromLatin1(automation_names::kService),
        QString::fromLatin1(automation_names::kFactoryPath),
        QString::fromLatin1(automation_names::kFactoryInterface), bus);
    iface->setTimeout(30000);
    return iface;
}

std::unique_ptr<QDBusInterface> Control(const QDBusConnection& bus) {
    auto iface = std::make_unique<QDBusInterface>(QString::fromLatin1(automation_names::kService),
                                                  QStringLiteral("/Test"),
                                                  QStringLiteral("Kestrivan.Test"), bus);
    iface->setTimeout(10000);
    return iface;
}

std::unique_ptr<QDBusInterface> Proxy(const QDBusConnection& bus) {
    auto iface = std::make_unique<QDBusInterface>(
        QString::fromLatin1(automation_names::kService),
        QString::fromLatin1(automation_names::kProxyPath),
        QString::fromLatin1(automation_names::kProxyInterface), bus);
    iface->setTimeout(10000);
    return iface;
}

bool Call(QDBusInterface& iface, const char* method) {
    const QDBusMessage reply = iface.call(QString::fromLatin1(method));
    return reply.type() == QDBusMessage::ReplyMessage;
}

bool BoolCall(QDBusInterface& iface, const char* method) {
    const QDBusReply<bool> reply = iface.call(QString::fromLatin1(method));
    return reply.isValid() && reply.value();
}

QByteArray ServiceFileBytes() {
    QFile file(AutomationServiceFile::DefaultFolder() + QLatin1Char('/') +
               AutomationServiceFile::FileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool OrdinaryStart() {
    QProcess program;
    program.start(QCoreApplication::applicationFilePath(), {});
    return program.waitForFinished(20000) && program.exitStatus() == QProcess::NormalExit &&
           program.exitCode() == 0;
}

// Two ordinary starts leave the same service file, which starts this program.
bool ServiceFileScenario() {
    if (!Check(OrdinaryStart(), "first ordinary start failed")) return false;
    const QByteArray first = ServiceFileBytes();
    if (!Check(!first.isEmpty(), "no service file after an ordinary start")) return false;
    if (!Check(first.contains(
                   ("Exec=" + QCoreApplication::applicationFilePath() + " -Automation\n").toUtf8()),
               "the service file does not start this program with the switch"))
        return false;
    if (!Check(OrdinaryStart(), "second ordinary start failed")) return false;
    return Check(ServiceFileBytes() == first, "the service file changed on the second start");
}

// A client activates the program, closes its window and releases the object.
bool HeldUntilReleasedScenario(const QDBusConnection& bus) {
    auto factory = Factory(bus);
    const QDBusReply<QDBusObjectPath> created = factory->call(QStringLiteral("CreateObject"));
    if (!Check(created.isValid(), "creation through activation failed")) return false;
    if (!Check(created.value().path() == QLatin1String(automation_names::kProxyPath),
               "wrong object path"))
        return false;
    const QDBusMessage again = factory->call(QStringLiteral("CreateObject"));
    if (!Check(again.type() == QDBusMessage::ErrorMessage &&
                   again.errorName() == QLatin1String(automation_names::kRefusedError),
               "a second creation was not refused"))
        return false;

    auto control = Control(bus);
    if (!Check(BoolCall(*control, "IsHeld"), "the window does not know its proxy")) return false;
    if (!Check(Call(*control, "CloseWindow"), "closing the window failed")) return false;
    // The close sequence has run through: the program answers, with its window hidden.
    const QDBusReply<bool> visible = control->call(QStringLiteral("IsVisible"));
    if (!Check(visible.isValid(), "the held program ended when its window closed")) return false;
    if (!Check(!visible.value(), "the held window is still visible after closing")) return false;

    // Another client may not release what it does not hold.
    bool strangerReleased = false;
    {
        QDBusConnection stranger =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stranger"));
        auto strangerProxy = Proxy(stranger);
        strangerReleased = Call(*strangerProxy, "Release");
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("stranger"));
    if (!Check(!strangerReleased, "a stranger released the object")) return false;
    if (!Check(BoolCall(*control, "IsHeld"), "the object went away after a stranger's release"))
        return false;

    auto proxy = Proxy(bus);
    if (!Check(Call(*proxy, "Release"), "release failed")) return false;
    return Check(WaitUntilGone(bus), "the program did not end after release");
}

// A client that leaves the bus lets go of the object as if it had released it.
bool ClientLeavesScenario() {
    const QString name = QStringLiteral("holder");
    {
        // The connection closes only when the last object using it has gone.
        QDBusConnection holder = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        auto factory = Factory(holder);
        const QDBusReply<QDBusObjectPath> created = factory->call(QStringLiteral("CreateObject"));
        if (!Check(created.isValid(), "second activation failed")) return false;
        auto control = Control(holder);
        if (!Check(Call(*control, "CloseWindow"), "closing the second window failed")) return false;
        const QDBusReply<bool> visible = control->call(QStringLiteral("IsVisible"));
        if (!Check(visible.isValid() && !visible.value(),
                   "the second held program did not stay hidden"))
            return false;
    }
    QDBusConnection::disconnectFromBus(name);
    return Check(WaitUntilGone(QDBusConnection::sessionBus()),
                 "the program outlived its departed client");
}

// Released while the user still has the window: the window stays until the user closes it.
bool ReleasedWhileOpenScenario(const QDBusConnection& bus) {
    auto factory = Factory(bus);
    const QDBusReply<QDBusObjectPath> created = factory->call(QStringLiteral("CreateObject"));
    if (!Check(created.isValid(), "third activation failed")) return false;
    auto proxy = Proxy(bus);
    if (!Check(Call(*proxy, "Release"), "third release failed")) return false;
    auto control = Control(bus);
    QDeadlineTimer deadline(10000);
    while (BoolCall(*control, "IsHeld") && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!Check(!BoolCall(*control, "IsHeld"), "the release did not clear the window's proxy"))
        return false;
    if (!Check(BoolCall(*control, "IsVisible"), "a release ended a window the user still has"))
        return false;
    control->call(QStringLiteral("CloseWindow"));
    return Check(WaitUntilGone(bus), "closing the released window did not end the program");
}

int RunClient() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::printf("FAIL: no session bus\n");
        return 2;
    }
    const bool ok = ServiceFileScenario() && HeldUntilReleasedScenario(bus) &&
                    ClientLeavesScenario() && ReleasedWhileOpenScenario(bus);
    std::printf("%s\n", ok ? "OK" : qPrintable(QStringLiteral("FAIL: ") + g_failure));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--client"))) return RunClient();
    return RunProgram(args.contains(QString::fromLatin1(automation_names::kSwitch)));
}

#include "automation_helper.moc"
