#pragma once

#include <QString>

// Only one copy of the program runs per user. The guard is an exclusive flock on a file in
// $XDG_RUNTIME_DIR (else /tmp/kestrivan-<uid>): the system drops the lock when the process
// ends, however it ends, so a crashed copy never blocks the next start.
class SingleInstanceGuard {
public:
    enum class Result { Acquired, AlreadyRunning, Unavailable };

    // `folder` empty: the runtime folder described above.
    explicit SingleInstanceGuard(QString name = QStringLiteral("Zorvi_Unique"),
                                 QString folder = {});
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // Takes the lock and keeps it for the life of this object (in the program: the
    // process). Unavailable when no lock file can be opened at all.
    Result Acquire();

    QString lockFile() const { return lockFile_; }

private:
    QString lockFile_;
    int fd_ = -1;
};
