#include "effects/web_engine_pane.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "effects/guarded_web_page.h"

WebEnginePane::WebEnginePane(Playback playback, QWidget* parent)
    : QWidget(parent),
      // A profile without a storage name is off the record: cookies, cache and history
      // live in memory and go with the pane.
      profile_(new QWebEngineProfile(this)),
      view_(new QWebEngineView(this)),
      page_(new GuardedWebPage(profile_, view_)) {
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    // Pages never save anything to the user's disk.
    connect(profile_, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest* download) { download->cancel(); });

    QWebEngineSettings* s = page_->settings();
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    // Effect pages play their sound on arrival, with nobody clicking in the pane.
    s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture,
                    playback == Playback::NeedsUserGesture);

    view_->setPage(page_);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(view_, &QWebEngineView::loadFinished, this, &WebEnginePane::loadFinished);
    connect(page_, &GuardedWebPage::navigationRefused, this, &WebEnginePane::navigationRefused);
}

void WebEnginePane::SetTrust(const zorvi::TlsSettings& trust) { page_->SetTrust(trust); }

WebEnginePane::~WebEnginePane() {
    // The page must go before its profile.
    delete view_;
}

void WebEnginePane::Navigate(const QString& address) {
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || !GuardedWebPage::IsAllowedNavigation(url)) return;
    view_->setUrl(url);
}

void WebEnginePane::GoBack() { view_->back(); }

void WebEnginePane::Reload() { view_->reload(); }

void WebEnginePane::Stop() { view_->stop(); }

QString WebEnginePane::Title() const { return view_->title(); }

QString WebEnginePane::Address() const { return view_->url().toString(); }

void WebEnginePane::SetVisible(bool visible) { setVisible(visible); }

bool WebEnginePane::IsVisible() const {
    // Whether the pane itself is shown, whatever the state of the window around it.
    return parentWidget() ? isVisibleTo(parentWidget()) : !isHidden();
}
