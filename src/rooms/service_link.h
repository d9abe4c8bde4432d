#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>

class CKestrivanDlg;
class IRoomDialogs;

namespace zorvi {
class ZorviSocket;
}

// How far opening a one-shot service connection to the chat host got.
enum class ServiceOpen { Ok, NoSocket, CreateFailed, ConnectFailed };

// Create and Connect the window's service socket to m_chatHost on the service port.
ServiceOpen OpenServiceConnection(CKestrivanDlg& w);

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
