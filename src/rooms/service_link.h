#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <optional>

#include "net/one_shot_exchange.h"

class CKestrivanDlg;
class IRoomDialogs;

namespace zorvi {
class ZorviSocket;
}

// Runs one exchange with the chat host (m_chatHost, the service port) on the window's
// service socket; nullopt, and nothing sent, when the window has no service socket.
std::optional<zorvi::OneShotResult> ExchangeWithService(CKestrivanDlg& w,
                                                        const zorvi::OneShotPlan& plan);

// Shows the progress window only once an exchange has been waiting longer than
// `threshold` ms, so that quick refreshes (every minute while the channel wing is open)
// never flash it. Hooks into the socket's wait for as long as it lives.
class DelayedProgress {
public:
    DelayedProgress(zorvi::ZorviSocket& socket, IRoomDialogs& dialogs, QString text,
                    int thresholdMs);
    ~DelayedProgress();
    DelayedProgress(const DelayedProgress&) = delete;
    DelayedProgress& operator=(const DelayedProgress&) = delete;

    void Hide();

private:
    void OnWait();

    zorvi::ZorviSocket& socket_;
    IRoomDialogs& dialogs_;
    QString text_;
    int thresholdMs_;
    std::function<void()> previousHook_;
    QElapsedTimer clock_;
    bool shown_ = false;
    bool hidden_ = false;
};
