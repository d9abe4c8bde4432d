#include "app/qt_keychain.h"

#include <qt6keychain/keychain.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace {

const QString kService = QStringLiteral("Zorvi");

// Runs `job` until it finishes or the deadline passes; a job left behind deletes itself
// when it ends, and its answer then goes nowhere.
IPasswordKeyring::Status Run(QKeychain::Job* job, const std::function<void()>& waitHook,
                             std::chrono::milliseconds timeout,
                             const std::function<void()>& onSuccess = {}) {
    QObject receiver;
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QObject::connect(job, &QKeychain::Job::finished, &receiver, [&](QKeychain::Job* done) {
        finished = true;
        error = done->error();
        if (error == QKeychain::NoError && onSuccess) onSuccess();
    });
    job->setAutoDelete(true);
    job->start();
    const QDeadlineTimer deadline(timeout);
    while (!finished && !deadline.hasExpired()) {
        if (waitHook) {
            waitHook();
        } else {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::ExcludeSocketNotifiers);
        }
        if (!finished) QThread::msleep(5);
    }
    if (!finished) return IPasswordKeyring::Status::Unavailable;
    if (error == QKeychain::NoError) return IPasswordKeyring::Status::Ok;
    if (error == QKeychain::EntryNotFound) return IPasswordKeyring::Status::NotFound;
    return IPasswordKeyring::Status::Unavailable;
}

}  // namespace

QtKeychain::QtKeychain(std::function<void()> waitHook, std::chrono::milliseconds timeout)
    : waitHook_(std::move(waitHook)), timeout_(timeout) {}

IPasswordKeyring::Status QtKeychain::Read(const QString& userName, QString& password) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(userName);
    return Run(job, waitHook_, timeout_, [&] { password = job->textData(); });
}

IPasswordKeyring::Status QtKeychain::Write(const QString& userName, const QString& password) {
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(userName);
    job->setTextData(password);
    return Run(job, waitHook_, timeout_);
}
