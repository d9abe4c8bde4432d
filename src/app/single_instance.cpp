#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>

namespace {

QString RuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
    // A private folder, so other users cannot hold our lock file.
    const QString fallback = QStringLiteral("/tmp/kestrivan-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(fallback).constData(), S_IRWXU);
    return fallback;
}

}  // namespace

SingleInstanceGuard::SingleInstanceGuard(QString name, QString folder) {
    if (folder.isEmpty()) folder = RuntimeFolder();
    lockFile_ = folder + QLatin1Char('/') + name + QStringLiteral(".lock");
}

SingleInstanceGuard::~SingleInstanceGuard() {
    if (fd_ >= 0) ::close(fd_);
}

SingleInstanceGuard::Result SingleInstanceGuard::Acquire() {
    if (fd_ >= 0) return Result::Acquired;
    // No truncation: the running copy's file is not touched. Close-on-exec keeps the lock
    // from outliving us in a child process.
    const int fd = ::open(QFile::encodeName(lockFile_).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0) return Result::Unavailable;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Result::AlreadyRunning : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}
