#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>
#include <memory>

#include "chat/kestrivan_dlg.h"
class CKestrivanDlgAutoProxy;

// The single-use class factory: serves one creation of CKestrivanDlgAutoProxy; every later
// request is refused (a client that wants another object starts another copy of the
// program, which meets the single-instance guard).
//
// A creation that arrives before the main window exists (the login dialog runs first) is
// served: the proxy holds the application at once and attaches to the window as soon as
// start-up hands it over, so the client that started the program holds it from the start.
class AutomationFactory : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "Kestrivan.Application.Factory")

public:
    explicit AutomationFactory(QObject* parent = nullptr);
    ~AutomationFactory() override;

    // Registers the factory object and takes the bus name. False when either fails.
    bool Register(const QDBusConnection& bus);
    // The main window, once it exists; null when it goes away.
    void AttachWindow(CKestrivanDlg* window);

    // One creation for `client` (its unique bus name). False when refused.
    bool Create(const QString& client);
    CKestrivanDlgAutoProxy* proxy() const { return proxy_.get(); }
    bool served() const { return served_; }

public slots:
    // The client's creation request; answers the new object's path.
    Q_SCRIPTABLE QDBusObjectPath CreateObject();

signals:
    // The client let go; the proxy is gone and the window's m_pAutoProxy cleared.
    void released();

private:
    void DestroyProxy();

    QDBusConnection bus_;
    QPointer<CKestrivanDlg> window_;
    std::unique_ptr<CKestrivanDlgAutoProxy> proxy_;
    bool served_ = false;
};
