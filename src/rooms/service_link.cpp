#include "rooms/service_link.h"

#include "chat/kestrivan_dlg.h"
#include "rooms/room_dialogs.h"

std::optional<zorvi::OneShotResult> ExchangeWithService(CKestrivanDlg& w,
                                                        const zorvi::OneShotPlan& plan) {
    auto* socket = w.m_pServiceSocket.get();
    if (!socket) return std::nullopt;
    return zorvi::RunOneShot(*socket, w.chatHost().toStdString(), w.endpoints().servicePort, plan);
}

DelayedProgress::DelayedProgress(zorvi::ZorviSocket& socket, IRoomDialogs& dialogs, QString text,
                                 int thresholdMs)
    : socket_(socket), dialogs_(dialogs), text_(std::move(text)), thresholdMs_(thresholdMs) {
    previousHook_ = socket_.config().waitHook;
    socket_.config().waitHook = [this] { OnWait(); };
    clock_.start();
}

DelayedProgress::~DelayedProgress() {
    socket_.config().waitHook = previousHook_;
    Hide();
}

void DelayedProgress::Hide() {
    if (shown_ && !hidden_) dialogs_.HideProgress();
    hidden_ = true;
}

void DelayedProgress::OnWait() {
    if (!shown_ && !hidden_ && clock_.elapsed() >= thresholdMs_) {
        shown_ = true;
        dialogs_.ShowProgress(text_);
    }
    if (previousHook_) previousHook_();
}
