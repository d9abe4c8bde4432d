#include "e2e/zorvid_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <chrono>
#include <csignal>

namespace {
using Clock = std::chrono::steady_clock;
}

ZorvidProcess::ZorvidProcess(const QStringList& extraArgs) {
    const QByteArray logPath = dir_.filePath(QStringLiteral("zorvid.log")).toLocal8Bit();
    // The demo's rooms ("Lobby", the live show) with every port chosen by the system.
    QStringList args = {QStringLiteral(ZORVID_PATH),
                        QStringLiteral("--config"),
                        QStringLiteral(DEMO_CONF),
                        QStringLiteral("--bind"),
                        QStringLiteral("127.0.0.1"),
                        QStringLiteral("--login-port"),
                        QStringLiteral("0"),
                        QStringLiteral("--service-port"),
                        QStringLiteral("0"),
                        QStringLiteral("--chat-ports"),
                        QStringLiteral("0"),
                        QStringLiteral("--http-port"),
                        QStringLiteral("0"),
                        QStringLiteral("--db"),
                        dir_.filePath(QStringLiteral("accounts.db")),
                        QStringLiteral("--open-registration")};
    // An extra option that is among the defaults replaces the default's value.
    for (qsizetype i = 0; i < extraArgs.size(); ++i) {
        const qsizetype at = args.indexOf(extraArgs[i]);
        if (extraArgs[i].startsWith(u"--") && at > 0 && at + 1 < args.size() &&
            i + 1 < extraArgs.size()) {
            args[at + 1] = extraArgs[++i];
        } else {
            args << extraArgs[i];
        }
    }
    std::vector<QByteArray> storage;
    for (const QString& a : args) storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        const int fd = open(logPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) {
            dup2(fd, STDERR_FILENO);
            close(fd);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    const QRegularExpression listening(
        QStringLiteral("listening login=(\\d+) service=(\\d+) http=(-?\\d+)"));
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        const auto m = listening.match(log());
        if (m.hasMatch()) {
            loginPort_ = m.captured(1).toInt();
            servicePort_ = m.captured(2).toInt();
            httpPort_ = m.captured(3).toInt();
            return;
        }
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        QThread::msleep(20);
    }
}

ZorvidProcess::~ZorvidProcess() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
        QThread::msleep(20);
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

QString ZorvidProcess::log() const {
    QFile f(dir_.filePath(QStringLiteral("zorvid.log")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}
