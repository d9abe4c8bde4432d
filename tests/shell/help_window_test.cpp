// The help window reading the compiled help file built from our sources.
#include "shell/help_window.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QUrl>

#include "shell/chm_file.h"
#include "support/dense_image.h"

namespace {

QString BuiltHelp() { return QStringLiteral(KV_BUILD_DIR "/zorvi.chm"); }

TEST(Help, BuiltFileOpensAtItsTopic) {
    QList<QUrl> external;
    HelpWindow help([&](const QUrl& url) { external << url; });
    ASSERT_TRUE(help.Open(BuiltHelp() + QStringLiteral("::/ZorviOverview.htm")));
    QTextDocument* doc = help.browser()->document();
    EXPECT_EQ(doc->metaInformation(QTextDocument::DocumentTitle), QStringLiteral("Zorvi overview"));
    EXPECT_TRUE(doc->toPlainText().contains(QStringLiteral("Kestrivan is the desktop client")));

    // The logo comes out of the help file too, drawn from its outline at the screen's
    // density rather than enlarged.
    const QUrl logoUrl = help.browser()->source().resolved(QUrl(QStringLiteral("zorvi_logo.svg")));
    const QVariant logo = help.browser()->loadResource(QTextDocument::ImageResource, logoUrl);
    ASSERT_TRUE(logo.canConvert<QImage>());
    EXPECT_EQ(logo.value<QImage>().size(), QSize(48, 48));
    const ChmFile chm(BuiltHelp());
    const std::optional<QByteArray> svg = chm.Read(QStringLiteral("/zorvi_logo.svg"));
    ASSERT_TRUE(svg);
    EXPECT_TRUE(DrawnAtDensity(QPixmap::fromImage(HelpBrowser::Image(*svg, true, 2.0)),
                               QPixmap::fromImage(HelpBrowser::Image(*svg, true, 1.0)), 2.0));

    // A relative link moves inside the file; a link out of it goes to the browser.
    emit help.browser()->anchorClicked(QUrl(QStringLiteral("Rooms.htm")));
    EXPECT_EQ(doc->metaInformation(QTextDocument::DocumentTitle), QStringLiteral("Rooms"));
    EXPECT_TRUE(external.isEmpty());
    emit help.browser()->anchorClicked(QUrl(QStringLiteral("https://zorvi.example/")));
    EXPECT_EQ(external, QList<QUrl>{QUrl(QStringLiteral("https://zorvi.example/"))});
    EXPECT_EQ(doc->metaInformation(QTextDocument::DocumentTitle), QStringLiteral("Rooms"));
    // A link to a page the file does not hold leaves the page as it is.
    emit help.browser()->anchorClicked(QUrl(QStringLiteral("Missing.htm")));
    EXPECT_EQ(doc->metaInformation(QTextDocument::DocumentTitle), QStringLiteral("Rooms"));
}

TEST(Help, MissingFileOrTopicShowsTheWindowsOwnError) {
    QTemporaryDir dir;
    HelpWindow help({});
    const QString missing = dir.filePath(QStringLiteral("zorvi.chm"));
    EXPECT_FALSE(help.Open(missing + QStringLiteral("::/ZorviOverview.htm")));
    EXPECT_EQ(help.browser()->toPlainText(), HelpWindow::ErrorText(missing));

    EXPECT_FALSE(help.Open(BuiltHelp() + QStringLiteral("::/NoSuchTopic.htm")));
    EXPECT_TRUE(help.browser()->toPlainText().contains(QStringLiteral("NoSuchTopic.htm")));

    // A file that is not a compiled help file at all.
    const QString bogus = dir.filePath(QStringLiteral("bogus.chm"));
    {
        QFile f(bogus);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x7f'));
    }
    EXPECT_FALSE(help.Open(bogus + QStringLiteral("::/ZorviOverview.htm")));
    // Markup in a path is shown as text.
    const QString markup = dir.filePath(QStringLiteral("<b>x</b>.chm"));
    EXPECT_FALSE(help.Open(markup));
    EXPECT_TRUE(help.browser()->toPlainText().contains(QStringLiteral("<b>x</b>")));
}

TEST(Help, ChmFileReadsObjectsByPath) {
    ChmFile file(BuiltHelp());
    ASSERT_TRUE(file.isOpen());
    const auto page = file.Read(QStringLiteral("ZorviOverview.htm"));
    ASSERT_TRUE(page.has_value());
    EXPECT_TRUE(page->contains("<title>Zorvi overview</title>"));
    EXPECT_FALSE(file.Read(QStringLiteral("/nothing.htm")).has_value());
    ChmFile closed;
    EXPECT_FALSE(closed.Read(QStringLiteral("/ZorviOverview.htm")).has_value());
}

}  // namespace
