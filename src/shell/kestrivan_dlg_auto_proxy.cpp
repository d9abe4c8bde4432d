#include "shell/kestrivan_dlg_auto_proxy.h"

#include <QDBusMessage>
#include <QDBusServiceWatcher>

#include "chat/kestrivan_dlg.h"

CKestrivanDlgAutoProxy::CKestrivanDlgAutoProxy(CKestrivanDlg* window, const QString& client,
                                               const QDBusConnection& bus)
    : client_(client) {
    AttachWindow(window);
    if (bus.isConnected() && !client_.isEmpty()) {
        watcher_ = new QDBusServiceWatcher(client_, bus,
                                           QDBusServiceWatcher::WatchForUnregistration, this);
        connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
                &CKestrivanDlgAutoProxy::OnClientGone);
    }
}

CKestrivanDlgAutoProxy::~CKestrivanDlgAutoProxy() {
    // A window destroyed first has already nulled the back-pointer; nothing is touched then.
    if (window_ && window_->m_pAutoProxy == this) window_->m_pAutoProxy = nullptr;
}

void CKestrivanDlgAutoProxy::AttachWindow(CKestrivanDlg* window) {
    window_ = window;
    if (window_) window_->m_pAutoProxy = this;
}

void CKestrivanDlgAutoProxy::Release() {
    if (calledFromDBus() && message().service() != client_) {
        sendErrorReply(QDBusError::AccessDenied,
                       QStringLiteral("Only the creating client may release the object."));
        return;
    }
    OnClientGone();
}

void CKestrivanDlgAutoProxy::OnClientGone() {
    if (releasing_) return;
    releasing_ = true;
    emit releaseRequested();
}
