// The conversation's conveniences: input history, name completion, links, find and arrival
// times, each through the real window where the user would meet it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "chat/chat_line_writer.h"
#include "chat/chat_links.h"
#include "chat/find_bar.h"
#include "chat/input_history.h"
#include "chat/name_completer.h"
#include "chat_harness.h"

using namespace chattest;

namespace {

// Shown and active, so that keys, shortcuts and focus behave as on a desktop.
bool ShowActive(QWidget& w) {
    w.show();
    QApplication::setActiveWindow(&w);
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w, 5000);
}

void Key(QWidget* target, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(target, key, mods);
}

QString Input(ChatHarness& h) { return h.w().m_chatInput->toPlainText(); }

// Every link in the display, as "text -> href", in document order.
QStringList Anchors(const QPlainTextEdit& display) {
    QStringList found;
    for (QTextBlock b = display.document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().isAnchor())
                found << f.text() + QStringLiteral(" -> ") + f.charFormat().anchorHref();
        }
    return found;
}

}  // namespace

TEST(InputHistory, WalksBackAndForthAndKeepsTheLineBeingTyped) {
    InputHistory h(3);
    EXPECT_FALSE(h.Older(QStringLiteral("typing")));
    EXPECT_FALSE(h.Newer(QStringLiteral("typing")));
    h.Add(QStringLiteral("one"));
    h.Add(QStringLiteral("two"));
    h.Add(QStringLiteral("two"));  // an immediate repeat is kept once
    h.Add(QStringLiteral("three"));
    EXPECT_EQ(h.size(), 3);
    EXPECT_EQ(h.Older(QStringLiteral("draft")), QStringLiteral("three"));
    EXPECT_EQ(h.Older(QStringLiteral("three")), QStringLiteral("two"));
    EXPECT_EQ(h.Older(QStringLiteral("two")), QStringLiteral("one"));
    EXPECT_FALSE(h.Older(QStringLiteral("one"))) << "the oldest entry is the end";
    EXPECT_EQ(h.Newer(QStringLiteral("one")), QStringLiteral("two"));
    EXPECT_EQ(h.Newer(QStringLiteral("two")), QStringLiteral("three"));
    EXPECT_EQ(h.Newer(QStringLiteral("three")), QStringLiteral("draft"));
    EXPECT_FALSE(h.Newer(QStringLiteral("draft"))) << "past the newest the walk has ended";

    h.Add(QStringLiteral("four"));  // beyond the limit the oldest goes
    EXPECT_EQ(h.size(), 3);
    EXPECT_EQ(h.Older({}), QStringLiteral("four"));
    EXPECT_EQ(h.Older({}), QStringLiteral("three"));
    EXPECT_EQ(h.Older({}), QStringLiteral("two"));
    EXPECT_FALSE(h.Older({}));
}

TEST(InputHistory, UpAndDownInTheInputRecallSentLinesAndCommands) {
    ListeningHarness h;
    ASSERT_TRUE(h.joined);
    QPlainTextEdit* input = h.w().m_chatInput;
    for (const char* line : {"hello there", "/beep bob"}) {
        input->setPlainText(QString::fromLatin1(line));
        Key(input, Qt::Key_Return);
    }
    EXPECT_TRUE(Input(h).isEmpty());
    QTest::keyClicks(input, QStringLiteral("half typed"));
    Key(input, Qt::Key_Up);
    EXPECT_EQ(Input(h), QStringLiteral("/beep bob"));
    Key(input, Qt::Key_Up);
    EXPECT_EQ(Input(h), QStringLiteral("hello there"));
    Key(input, Qt::Key_Up);
    EXPECT_EQ(Input(h), QStringLiteral("hello there"));
    Key(input, Qt::Key_Down);
    EXPECT_EQ(Input(h), QStringLiteral("/beep bob"));
    Key(input, Qt::Key_Down);
    EXPECT_EQ(Input(h), QStringLiteral("half typed")) << "the line being typed comes back";

    // A recalled line is sent again as it stands.
    Key(input, Qt::Key_Up);
    Key(input, Qt::Key_Up);
    Key(input, Qt::Key_Return);
    const auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].text, "me: hello there");
    EXPECT_EQ(sent[1].code2, 35);
    EXPECT_EQ(sent[2].text, "me: hello there");
}

TEST(NameCompletion, CompletesCyclesAndAddressesAtTheStartOfTheLine) {
    const QStringList names{QStringLiteral("bob"), QStringLiteral("alice"),
                            QStringLiteral("Albert")};
    NameCompleter c;
    auto r = c.Complete(QStringLiteral("al"), 2, names);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, QStringLiteral("Albert: "));
    EXPECT_EQ(r->caret, 8);
    r = c.Complete(r->text, r->caret, names);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, QStringLiteral("alice: ")) << "a second Tab goes on to the next match";
    r = c.Complete(r->text, r->caret, names);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, QStringLiteral("Albert: ")) << "round the matches";

    NameCompleter mid;
    r = mid.Complete(QStringLiteral("hi BO and"), 5, names);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->text, QStringLiteral("hi bob and")) << "inside the line: no colon";
    EXPECT_EQ(r->caret, 6);

    NameCompleter none;
    EXPECT_FALSE(none.Complete(QString(), 0, names));
    EXPECT_FALSE(none.Complete(QStringLiteral("hi "), 3, names)) << "no word before the caret";
    EXPECT_FALSE(none.Complete(QStringLiteral("zed"), 3, names));
}

TEST(NameCompletion, TabInTheInputCompletesAndOtherwiseMovesTheFocusOn) {
    ChatHarness h;
    h.w().AddRoomUser(QStringLiteral("carol"), false);
    h.w().AddRoomUser(QStringLiteral("carl"), false);
    ASSERT_TRUE(ShowActive(h.w()));
    QPlainTextEdit* input = h.w().m_chatInput;
    input->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return input->hasFocus(); }, 5000));
    QTest::keyClicks(input, QStringLiteral("car"));
    Key(input, Qt::Key_Tab);
    EXPECT_EQ(Input(h), QStringLiteral("carl: "));
    Key(input, Qt::Key_Tab);
    EXPECT_EQ(Input(h), QStringLiteral("carol: "));
    QTest::keyClicks(input, QStringLiteral("hi"));
    EXPECT_EQ(Input(h), QStringLiteral("carol: hi"));
    EXPECT_TRUE(input->hasFocus());

    // Nothing to complete: Tab leaves the input, which keeps its text.
    Key(input, Qt::Key_Tab);
    EXPECT_EQ(Input(h), QStringLiteral("carol: hi"));
    EXPECT_FALSE(input->hasFocus()) << "keyboard users are not trapped in the input";
}

TEST(ChatLinks, OnlyHttpAndHttpsAddressesBecomeLinks) {
    auto addresses = [](const QString& text) {
        QStringList a;
        for (const chat_links::WebLink& l : chat_links::FindWebLinks(text)) {
            EXPECT_EQ(text.mid(l.start, l.length), l.address);
            a << l.address;
        }
        return a;
    };
    EXPECT_EQ(addresses(QStringLiteral("see https://example.org/a?b=1&c=2#x.")),
              QStringList{QStringLiteral("https://example.org/a?b=1&c=2#x")});
    EXPECT_EQ(addresses(QStringLiteral("(HTTP://Example.org/wiki) and http://b.example/p_(q)")),
              QStringList({QStringLiteral("HTTP://Example.org/wiki"),
                           QStringLiteral("http://b.example/p_(q)")}));
    EXPECT_EQ(addresses(QStringLiteral("<a href=\"http://x.example/\">y</a>")),
              QStringList{QStringLiteral("http://x.example/")});
    for (const char* refused :
         {"javascript:alert(1)", "javascript:http://x.example/", "file:///etc/passwd",
          "data:text/html,<b>x</b>", "ftp://x.example/", "xhttp://x.example/", "http://",
          "https:///no-host", "mailto:a@b.example", "plain words"})
        EXPECT_TRUE(addresses(QString::fromLatin1(refused)).isEmpty()) << refused;
}

TEST(ChatLinks, LinksInTheDisplayAreFormatsOnPlainTextAndOpenInTheBrowser) {
    ChatHarness h;
    CKestrivanDlg& w = h.w();
    const QString line = QStringLiteral(
        "<b>bob</b>: look http://example.org/x, not javascript:alert(1) or file:///etc/passwd");
    w.AppendChatLine(line);
    w.AppendChatLine(QStringLiteral("&lt;i&gt;after&lt;/i&gt;"));
    EXPECT_EQ(h.Lines(), QStringList({line, QStringLiteral("&lt;i&gt;after&lt;/i&gt;")}))
        << "markup in names and lines is shown literally";
    EXPECT_EQ(Anchors(*w.m_chatDisplay),
              QStringList{QStringLiteral("http://example.org/x -> http://example.org/x")})
        << "the link's format does not run on into the next line";

    ASSERT_TRUE(ShowActive(w));
    QPlainTextEdit* display = w.m_chatDisplay;
    auto pointAt = [&](const QString& text) {
        QTextCursor c(display->document());
        c.setPosition(int(line.indexOf(text)) + 2);
        return display->cursorRect(c).center();
    };
    QTest::mouseClick(display->viewport(), Qt::LeftButton, {},
                      pointAt(QStringLiteral("javascript")));
    QTest::mouseClick(display->viewport(), Qt::LeftButton, {}, pointAt(QStringLiteral("file:")));
    EXPECT_TRUE(h.desktop.opened.isEmpty());
    QTest::mouseClick(display->viewport(), Qt::LeftButton, {},
                      pointAt(QStringLiteral("http://example")));
    EXPECT_EQ(h.desktop.opened, QStringList{QStringLiteral("http://example.org/x")});
}

TEST(FindInConversation, StepsThroughMatchesBothWaysAndWraps) {
    QPlainTextEdit display;
    display.setPlainText(QStringLiteral("alpha\nbeta Alpha\ngamma\nalphabet"));
    ChatFinder find(display);
    auto selected = [&] {
        const QTextCursor c = display.textCursor();
        return std::pair(c.selectionStart(), c.selectedText());
    };
    ASSERT_TRUE(find.Step(QStringLiteral("alpha"), false));
    EXPECT_EQ(selected(), std::pair(0, QStringLiteral("alpha")));
    ASSERT_TRUE(find.Step(QStringLiteral("alpha"), false));
    EXPECT_EQ(selected(), std::pair(11, QStringLiteral("Alpha"))) << "case is ignored";
    ASSERT_TRUE(find.Step(QStringLiteral("alpha"), false));
    EXPECT_EQ(selected().first, 23);
    ASSERT_TRUE(find.Step(QStringLiteral("alpha"), false));
    EXPECT_EQ(selected().first, 0) << "past the last match it starts again at the top";
    ASSERT_TRUE(find.Step(QStringLiteral("alpha"), true));
    EXPECT_EQ(selected().first, 23) << "backwards from the first match goes to the last";
    ASSERT_TRUE(find.Step(QStringLiteral("alpha"), true));
    EXPECT_EQ(selected().first, 11);

    EXPECT_FALSE(find.Step(QStringLiteral("delta"), false));
    EXPECT_EQ(selected().first, 11) << "no match leaves the selection where it was";
    EXPECT_FALSE(find.Step(QString(), false));
}

TEST(FindInConversation, CtrlFOpensTheBarEnterStepsEscapeReturnsToTheInput) {
    ListeningHarness h;
    ASSERT_TRUE(h.joined);
    CKestrivanDlg& w = h.w();
    for (const char* line : {"bob: the cat", "carol: a dog", "bob: another cat"})
        w.AppendChatLine(QString::fromLatin1(line));
    ASSERT_TRUE(ShowActive(w));
    w.m_chatInput->setFocus();
    QTest::keyClicks(w.m_chatInput, QStringLiteral("unsent"));

    Key(w.m_chatInput, Qt::Key_F, Qt::ControlModifier);
    FindBar* bar = w.findBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible() && bar->hasFocus(); }, 5000));
    EXPECT_FALSE(bar->accessibleName().isEmpty());
    const QRect conversation(w.m_chatDisplay->mapTo(&w, QPoint()), w.m_chatDisplay->size());
    EXPECT_TRUE(conversation.contains(bar->geometry())) << "the bar lies over the conversation";

    QTest::keyClicks(bar, QStringLiteral("cat"));
    auto selectionStart = [&] { return w.m_chatDisplay->textCursor().selectionStart(); };
    const int first = int(w.m_chatDisplay->toPlainText().indexOf(QStringLiteral("cat")));
    const int second = int(w.m_chatDisplay->toPlainText().lastIndexOf(QStringLiteral("cat")));
    EXPECT_EQ(selectionStart(), first) << "typing finds the first match";
    Key(bar, Qt::Key_Return);
    EXPECT_EQ(selectionStart(), second);
    Key(bar, Qt::Key_Return);
    EXPECT_EQ(selectionStart(), first);
    Key(bar, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(selectionStart(), second);
    EXPECT_EQ(w.m_chatDisplay->textCursor().selectedText(), QStringLiteral("cat"));
    EXPECT_EQ(Input(h), QStringLiteral("unsent")) << "Enter in the bar does not press Send";

    Key(bar, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(w.isVisible()) << "Escape closes the bar, never the window";
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.m_chatInput->hasFocus(); }, 5000));
    EXPECT_TRUE(h.Sent().empty());
}

TEST(Timestamps, ShownInFrontOfEachLineButNeverInTheConversationText) {
    ChatHarness h;
    CKestrivanDlg& w = h.w();
    EXPECT_FALSE(w.Timestamps()) << "off by default";
    w.AppendChatLine(QStringLiteral("before"));
    w.SetTimestamps(true);
    h.clock.now = QDateTime(QDate(2026, 3, 1), QTime(9, 7, 59));
    w.AppendChatLine(QStringLiteral("bob: [12:00] see http://example.org/"));
    w.AppendChatLine(QStringLiteral("\r\n"));  // spacing lines stay empty
    h.clock.now = QDateTime(QDate(2026, 3, 1), QTime(21, 30));
    w.AppendChatLine(QStringLiteral("one\r\ntwo"));
    w.AppendChatLine(QStringLiteral(" "));

    EXPECT_EQ(h.Lines(),
              QStringList({QStringLiteral("before"),
                           QStringLiteral("[09:07] bob: [12:00] see http://example.org/"),
                           QString(), QString(), QStringLiteral("[21:30] one"),
                           QStringLiteral("[21:30] two"), QStringLiteral("[21:30]  ")}));
    EXPECT_EQ(Anchors(*w.m_chatDisplay),
              QStringList{QStringLiteral("http://example.org/ -> http://example.org/")});

    // The same lines without times give exactly the conversation text.
    ChatHarness plain;
    for (const char* line :
         {"before", "bob: [12:00] see http://example.org/", "\r\n", "one\r\ntwo", " "})
        plain.w().AppendChatLine(QString::fromLatin1(line));
    EXPECT_EQ(w.ConversationText(), plain.Display());
    EXPECT_EQ(plain.w().ConversationText(), plain.Display());

    // Lines after turning the times off, and after the display is emptied, carry none.
    w.SetTimestamps(false);
    w.AppendChatLine(QStringLiteral("later"));
    EXPECT_EQ(h.Lines().last(), QStringLiteral("later"));
    w.m_chatDisplay->clear();
    w.AppendChatLine(QStringLiteral("fresh"));
    EXPECT_EQ(w.ConversationText(), QStringLiteral("fresh\n"));
}

TEST(Timestamps, StampFormatIsHoursAndMinutes) {
    EXPECT_EQ(ChatLineWriter::Stamp(QTime(0, 0)), QStringLiteral("[00:00] "));
    EXPECT_EQ(ChatLineWriter::Stamp(QTime(23, 59, 59)), QStringLiteral("[23:59] "));
}
