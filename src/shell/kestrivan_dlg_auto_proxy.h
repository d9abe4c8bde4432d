#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>

#include "chat/kestrivan_dlg.h"
class QDBusServiceWatcher;

// The automation object: a proxy for the main window that keeps the application alive while
// its client holds it (the window's ExitAllowed hides instead of ending while it exists; no
// event-loop lock is taken, since that would end a program hidden to the notification area
// when the client lets go). Its one method, Release, is the client letting go; a client that
// leaves the bus lets go too. Only the client that created it may release it.
class CKestrivanDlgAutoProxy : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Kestrivan.Application.Object")

public:
    // `client` is the creating client's unique bus name; with a connected `bus` the proxy
    // watches it and lets go when it disappears.
    CKestrivanDlgAutoProxy(CKestrivanDlg* window, const QString& client,
                           const QDBusConnection& bus);
    ~CKestrivanDlgAutoProxy() override;

    // Binds the proxy to the main window once it exists (sets the window's m_pAutoProxy).
    void AttachWindow(CKestrivanDlg* window);
    CKestrivanDlg* window() const { return window_; }
    const QString& client() const { return client_; }

public slots:
    Q_SCRIPTABLE void Release();

signals:
    // The client let go (released or left the bus): the owner destroys the proxy.
    void releaseRequested();

private:
    void OnClientGone();

    QPointer<CKestrivanDlg> window_;
    QString client_;
    QDBusServiceWatcher* watcher_ = nullptr;
    bool releasing_ = false;
};
