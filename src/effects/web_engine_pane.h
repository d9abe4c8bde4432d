#pragma once

#include <QString>
#include <QWidget>

#include "app/seams.h"
#include "net/tls_transport.h"

class QWebEngineProfile;
class QWebEngineView;
class GuardedWebPage;

// A web pane of the main window (the portal, the effect pane). Each pane browses in a
// profile of its own that keeps nothing on disk, and its pages cannot reach local files.
class WebEnginePane : public QWidget, public IWebPane {
    Q_OBJECT

public:
    enum class Playback { NeedsUserGesture, Automatic };

    explicit WebEnginePane(Playback playback, QWidget* parent = nullptr);
    // The trust HTTPS pages are held to: the same as the service's connections.
    void SetTrust(const zorvi::TlsSettings& trust);
    ~WebEnginePane() override;

    // Only http and https addresses are loaded; anything else is ignored.
    void Navigate(const QString& address) override;
    void GoBack() override;
    void Reload() override;
    void Stop() override;
    QString Title() const override;
    QString Address() const override;
    void SetVisible(bool visible) override;
    bool IsVisible() const override;

    QWebEngineView* view() const { return view_; }
    QWebEngineProfile* profile() const { return profile_; }

signals:
    void loadFinished(bool ok);
    // A page tried to go somewhere other than a web page.
    void navigationRefused(const QUrl& url);

private:
    QWebEngineProfile* profile_;
    QWebEngineView* view_;
    GuardedWebPage* page_;
};
