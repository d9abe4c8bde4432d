#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real zorvid with the demo's rooms on 127.0.0.1 with ephemeral ports, a private account
// database and open registration (extra options given again replace those defaults); stopped
// (SIGTERM, then SIGKILL after a deadline) when destroyed.
class ZorvidProcess {
public:
    explicit ZorvidProcess(const QStringList& extraArgs = {});
    ~ZorvidProcess();
    ZorvidProcess(const ZorvidProcess&) = delete;
    ZorvidProcess& operator=(const ZorvidProcess&) = delete;

    bool running() const { return loginPort_ > 0; }
    int loginPort() const { return loginPort_; }
    int servicePort() const { return servicePort_; }
    int httpPort() const { return httpPort_; }
    QString webUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(httpPort_); }
    // Everything the service logged so far.
    QString log() const;

private:
    QTemporaryDir dir_;
    pid_t pid_ = -1;
    int loginPort_ = 0;
    int servicePort_ = 0;
    int httpPort_ = 0;
};
