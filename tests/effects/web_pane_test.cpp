#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "effects/guarded_web_page.h"
#include "effects/web_engine_pane.h"
#include "support_net/test_pki.h"
#include "support_net/tls_relay.h"
#include "tiny_http_server.h"

namespace {

QByteArray Page(const QByteArray& title, const QByteArray& body = {}) {
    return "<html><head><title>" + title + "</title></head><body>" + body + "</body></html>";
}

// Waits, processing events, until the pane shows a page of that title.
::testing::AssertionResult TitleBecomes(const WebEnginePane& pane, const QString& title,
                                        int ms = 30000) {
    if (QTest::qWaitFor([&] { return pane.Title() == title; }, ms))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "title still \"" << pane.Title().toStdString() << "\" after " << ms
           << " ms, expected \"" << title.toStdString() << "\"";
}

}  // namespace

TEST(GuardedWebPage, AllowsOnlyWebPages) {
    EXPECT_TRUE(GuardedWebPage::IsAllowedNavigation(QUrl(QStringLiteral("http://127.0.0.1/a"))));
    EXPECT_TRUE(GuardedWebPage::IsAllowedNavigation(QUrl(QStringLiteral("HTTPS://h/"))));
    EXPECT_TRUE(GuardedWebPage::IsAllowedNavigation(QUrl(QStringLiteral("about:blank"))));
    for (const char* bad :
         {"file:///etc/passwd", "javascript:alert(1)", "data:text/html,x", "ftp://h/",
          "about:config", "qrc:/res/sounds/145.wav", "chrome://settings", "http:///x"}) {
        EXPECT_FALSE(GuardedWebPage::IsAllowedNavigation(QUrl(QString::fromLatin1(bad)))) << bad;
    }
}

TEST(WebEnginePane, LoadsAPageReadsItsTitleAndRefusesLocalFiles) {
    TinyHttpServer http;
    http.Serve(QStringLiteral("/effect/effectlist.htm"), "text/html",
               Page("Effects", "<a id=\"pic\" href=\"pic.htm\">pic</a>"));
    http.Serve(QStringLiteral("/effect/pic.htm"), "text/html", Page("ChoosePic"));
    // Pages that try to take the pane to the program's own resources and to a local file.
    http.Serve(QStringLiteral("/effect/escape.htm"), "text/html",
               Page("Escape", "<script>location.href='qrc:/res/sounds/145.wav';</script>"));
    http.Serve(QStringLiteral("/effect/local.htm"), "text/html",
               Page("Local",
                    "<script>location.href='file:///etc/hostname';"
                    "setTimeout(function() { document.title = 'Stayed'; }, 500);</script>"));

    WebEnginePane pane(WebEnginePane::Playback::Automatic);
    pane.resize(400, 300);
    pane.show();
    EXPECT_TRUE(pane.profile()->isOffTheRecord());
    EXPECT_FALSE(pane.view()->page()->settings()->testAttribute(
        QWebEngineSettings::PlaybackRequiresUserGesture));
    EXPECT_FALSE(pane.view()->page()->settings()->testAttribute(
        QWebEngineSettings::LocalContentCanAccessFileUrls));

    const QString catalogue = http.Url(QStringLiteral("/effect/effectlist.htm"));
    pane.Navigate(catalogue);
    ASSERT_TRUE(TitleBecomes(pane, QStringLiteral("Effects"), 60000));
    EXPECT_EQ(pane.Address(), catalogue);

    const QString pic = http.Url(QStringLiteral("/effect/pic.htm"));
    pane.Navigate(pic);
    ASSERT_TRUE(TitleBecomes(pane, QStringLiteral("ChoosePic")));
    EXPECT_EQ(pane.Address(), pic);

    pane.GoBack();
    ASSERT_TRUE(QTest::qWaitFor([&] { return pane.Address() == catalogue; }, 30000))
        << pane.Address().toStdString();

    // Refused outright: the pane stays where it was.
    pane.Navigate(QStringLiteral("file:///etc/hostname"));
    pane.Navigate(QStringLiteral("javascript:document.title='x'"));
    EXPECT_EQ(pane.Address(), catalogue);
    EXPECT_EQ(pane.Title(), QStringLiteral("Effects"));

    // A page's own script cannot leave the web either: the pane refuses what the engine
    // would open, and the engine itself keeps web pages from local files.
    QSignalSpy refused(&pane, &WebEnginePane::navigationRefused);
    const QString escape = http.Url(QStringLiteral("/effect/escape.htm"));
    pane.Navigate(escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return refused.size() == 1; }, 30000)) << refused.size();
    EXPECT_EQ(refused.at(0).at(0).toUrl().scheme(), QStringLiteral("qrc"));
    ASSERT_TRUE(TitleBecomes(pane, QStringLiteral("Escape")));
    EXPECT_EQ(pane.Address(), escape);

    const QString local = http.Url(QStringLiteral("/effect/local.htm"));
    pane.Navigate(local);
    ASSERT_TRUE(TitleBecomes(pane, QStringLiteral("Stayed")));
    EXPECT_EQ(pane.Address(), local);

    pane.SetVisible(false);
    EXPECT_FALSE(pane.IsVisible());
    pane.SetVisible(true);
    EXPECT_TRUE(pane.IsVisible());
}

TEST(WebEnginePane, PortalKeepsTheUserGestureRule) {
    WebEnginePane pane(WebEnginePane::Playback::NeedsUserGesture);
    EXPECT_TRUE(pane.view()->page()->settings()->testAttribute(
        QWebEngineSettings::PlaybackRequiresUserGesture));
    EXPECT_TRUE(pane.profile()->isOffTheRecord());
}

TEST(WebEnginePane, HttpsPagesLoadOnlyWhenTheirCertificateChainsToTheConfiguredCa) {
    TinyHttpServer http;
    http.Serve(QStringLiteral("/private.htm"), "text/html", Page("Private"));
    const int httpPort = QUrl(http.Url(QStringLiteral("/"))).port();
    QTemporaryDir dir;
    kvtest::TestPki pki(dir.path().toStdString());
    const auto ours = pki.Issue("ours", "IP:127.0.0.1");
    const auto theirs = pki.Issue("theirs", "IP:127.0.0.1", false);
    const auto expired = pki.Issue("expired", "IP:127.0.0.1", true, -7200, -3600);
    kvtest::TlsRelay trusted("127.0.0.1", {{0, httpPort}}, ours.certFile, ours.keyFile);
    kvtest::TlsRelay stranger("127.0.0.1", {{0, httpPort}}, theirs.certFile, theirs.keyFile);
    kvtest::TlsRelay stale("127.0.0.1", {{0, httpPort}}, expired.certFile, expired.keyFile);
    ASSERT_TRUE(trusted.ok() && stranger.ok() && stale.ok());
    auto address = [](const kvtest::TlsRelay& relay) {
        return QStringLiteral("https://127.0.0.1:%1/private.htm").arg(relay.port(0));
    };

    WebEnginePane pane(WebEnginePane::Playback::Automatic);
    pane.SetTrust({true, pki.caFile()});
    pane.resize(400, 300);
    pane.show();
    for (const kvtest::TlsRelay* refused : {&stranger, &stale}) {
        QSignalSpy finished(&pane, &WebEnginePane::loadFinished);
        pane.Navigate(address(*refused));
        ASSERT_TRUE(finished.wait(60000));
        EXPECT_FALSE(finished.first().first().toBool());
        EXPECT_NE(pane.Title(), QStringLiteral("Private"));
    }
    pane.Navigate(address(trusted));
    EXPECT_TRUE(TitleBecomes(pane, QStringLiteral("Private"), 60000));

    // Without the CA among the trusted, the same page is refused.
    WebEnginePane plain(WebEnginePane::Playback::Automatic);
    plain.resize(400, 300);
    plain.show();
    QSignalSpy finished(&plain, &WebEnginePane::loadFinished);
    plain.Navigate(address(trusted));
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_NE(plain.Title(), QStringLiteral("Private"));
}
