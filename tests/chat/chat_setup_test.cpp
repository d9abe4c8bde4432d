#include <gtest/gtest.h>

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextCursor>
#include <QTreeWidget>

#include "chat_harness.h"

using chattest::ChatHarness;

namespace {

const char* const kWelcomeForBob =
    " Welcome bob! \n"
    "\n"
    "You can join a exist room by press the CHANGE ROOM Button at your right side\n"
    "\n"
    "You can create a new room by press the NEW ROOM Button at your right side\n";

}  // namespace

TEST(ChatSetUp, LeavesTheWindowLoggedInButInNoRoom) {
    ChatHarness h;
    h.w().SetIdentity(QStringLiteral("bob"), {});
    h.w().SetUp();
    CKestrivanDlg& w = h.w();

    EXPECT_EQ(h.Display(), QString::fromLatin1(kWelcomeForBob));
    EXPECT_TRUE(w.m_chatInput->isReadOnly());
    EXPECT_TRUE(w.m_chatDisplay->isReadOnly());
    EXPECT_FALSE(w.m_sendButton->isEnabled());
    EXPECT_FALSE(w.m_effectButton->isEnabled());
    EXPECT_FALSE(w.m_assignButton->isEnabled());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Zorvi"));
    EXPECT_EQ(
        h.skin.commands,
        QStringList({"goto assignButton DisableButton", "goto closeEffectButton DisableButton",
                     "goto EffectButton DisableButton", "goto changeButton DisableButton",
                     "goto newButton DisableButton"}));
    EXPECT_EQ(h.skin.texts, QStringList({"name=bob"}));
    EXPECT_EQ(h.portal.calls, QStringList({"Navigate http://127.0.0.1:1/"}));
    EXPECT_FALSE(h.effectPane.IsVisible());
    ASSERT_EQ(h.sounds.played.size(), 1u);
    EXPECT_EQ(h.sounds.played[0].first, ProgramSound::Welcome);
    EXPECT_FALSE(h.sounds.played[0].second);
}

TEST(ChatSetUp, EmptyNicknameAndSoundOff) {
    ChatHarness h;
    h.w().SetIdentity({}, {});
    h.w().SetSoundOn(false);
    h.w().SetUp();
    EXPECT_TRUE(h.Display().startsWith(QStringLiteral(" Welcome ! \n\nYou can join")));
    EXPECT_TRUE(h.sounds.played.empty());
    EXPECT_TRUE(h.skin.texts.isEmpty()) << "the element keeps the skin's own text";
}

TEST(ChatSetUp, ChannelListHasThreeColumnsAndNoRows) {
    ChatHarness h;
    h.w().m_channelList->addTopLevelItem(new QTreeWidgetItem({"left over"}));
    h.w().SetUp();
    QTreeWidget* list = h.w().m_channelList;
    ASSERT_EQ(list->columnCount(), 3);
    QTreeWidgetItem* header = list->headerItem();
    EXPECT_EQ(header->text(0), QStringLiteral("Channel Name"));
    EXPECT_EQ(header->text(1), QStringLiteral("Audio"));
    EXPECT_EQ(header->text(2), QStringLiteral("People"));
    EXPECT_EQ(list->columnWidth(0), 50);
    EXPECT_EQ(list->columnWidth(1), 20);
    EXPECT_EQ(list->columnWidth(2), 25);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    ASSERT_EQ(h.w().m_channelImagesNormal.size(), 2);
    ASSERT_EQ(h.w().m_channelImagesSmall.size(), 2);
    const QImage crossed = h.w().m_channelImagesNormal[0].pixmap(17, 17).toImage();
    const QImage speaker = h.w().m_channelImagesNormal[1].pixmap(17, 17).toImage();
    EXPECT_EQ(crossed.width(), 17);
    EXPECT_NE(crossed, speaker) << "the two audio images must be told apart";
    EXPECT_EQ(list->palette().color(QPalette::Base), QColor(Qt::white));
}

TEST(ChatSetUp, EveryTemplateControlExistsAndHiddenButtonsStayHidden) {
    ChatHarness h;
    h.w().SetUp();
    h.w().show();
    const int visible[] = {1001, 1000, 1021, 1040};
    for (int id : visible) {
        QWidget* c = h.w().Control(id);
        ASSERT_NE(c, nullptr) << id;
        EXPECT_TRUE(c->isVisible()) << id;
        EXPECT_FALSE(c->accessibleName().isEmpty()) << id;
    }
    const int hidden[] = {1003, 1002, 1005, 57670, 1, 2, 1017, 1019, 1020, 1028, 1029, 1041, 1007};
    for (int id : hidden) {
        QPushButton* b = h.w().Button(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_FALSE(b->isVisible()) << id;
        EXPECT_FALSE(b->accessibleName().isEmpty()) << id;
    }
    EXPECT_EQ(h.w().Button(1003), h.w().m_sendButton);
    EXPECT_EQ(h.w().Button(1020), h.w().m_assignButton);
    EXPECT_EQ(h.w().Button(1002), h.w().m_effectButton);
    EXPECT_EQ(h.w().Button(1017)->text(), QStringLiteral("New Room"));
    EXPECT_EQ(h.w().m_chatDisplay->palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(h.w().m_chatInput->palette().color(QPalette::Base), QColor(Qt::white));
    // The template is 553 x 333 dialog units; an Arial 8 dialog is wider than it is tall.
    EXPECT_GT(h.w().width(), h.w().height());
    EXPECT_TRUE(h.w().windowFlags() & Qt::WindowMinimizeButtonHint);
}

TEST(ChatSetUp, HiddenButtonsRaiseTheirCommands) {
    ChatHarness h;
    h.w().SetUp();
    QSignalSpy close(&h.w(), &CKestrivanDlg::closeRequested);
    h.w().Button(1)->click();
    h.w().Button(2)->click();
    EXPECT_EQ(close.count(), 2);
    // Assign Owner is connected to the window's own operation.
    h.w().m_assignButton->setEnabled(true);
    h.w().m_assignButton->click();
    EXPECT_EQ(h.box.shown.size(), 1);
}

TEST(ChatSetUp, EscapeDoesNotCloseTheWindow) {
    ChatHarness h;
    h.w().SetUp();
    h.w().show();
    QSignalSpy rejected(&h.w(), &QDialog::rejected);
    QTest::keyClick(&h.w(), Qt::Key_Escape);
    QTest::keyClick(h.w().m_chatInput, Qt::Key_Escape);
    EXPECT_TRUE(h.w().isVisible());
    EXPECT_EQ(rejected.count(), 0);
}

TEST(AppendChatLine, AppendsAtTheEndWhateverIsSelected) {
    ChatHarness h;
    h.w().SetUp();
    h.w().m_chatDisplay->setPlainText(QStringLiteral("first\nsecond\n"));
    // The user selects part of the first line and moves the caret to the start.
    QTextCursor c = h.w().m_chatDisplay->textCursor();
    c.setPosition(1);
    c.setPosition(3, QTextCursor::KeepAnchor);
    h.w().m_chatDisplay->setTextCursor(c);

    h.w().AppendChatLine(QStringLiteral("third"));
    h.w().AppendChatLine(QStringLiteral("\r\n two \r\nlines"));
    EXPECT_EQ(h.Display(), QStringLiteral("first\nsecond\nthird\n\n two \nlines\n"));
    EXPECT_EQ(h.w().m_chatDisplay->textCursor().selectedText(), QStringLiteral("ir"));
    EXPECT_FALSE(h.w().m_chatDisplay->document()->isUndoAvailable());
}

TEST(AppendChatLine, KeepsTheNewestLineInView) {
    ChatHarness h;
    h.w().SetUp();
    h.w().show();
    for (int i = 0; i < 200; ++i) h.w().AppendChatLine(QStringLiteral("line %1").arg(i));
    QScrollBar* bar = h.w().m_chatDisplay->verticalScrollBar();
    EXPECT_TRUE(
        chattest::WaitFor([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
    bar->setValue(0);  // the user scrolls back; the next line brings the end into view again
    h.w().AppendChatLine(QStringLiteral("newest"));
    EXPECT_TRUE(
        chattest::WaitFor([&] { return bar->value() > 0 && bar->value() == bar->maximum(); }));
}

TEST(AppendChatLine, ANarrowerDisplayKeepsTheEndInViewUnlessTheUserScrolledBack) {
    ChatHarness h;
    h.w().SetUp();
    h.w().show();
    QPlainTextEdit* display = h.w().m_chatDisplay;
    const QString words = QStringLiteral("a line long enough to wrap once the display narrows ");
    for (int i = 0; i < 100; ++i) h.w().AppendChatLine(words + QString::number(i));
    QScrollBar* bar = display->verticalScrollBar();
    ASSERT_TRUE(
        chattest::WaitFor([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }));
    const auto endInView = [display] {
        QTextCursor end(display->document());
        end.movePosition(QTextCursor::End);
        end.movePosition(QTextCursor::PreviousCharacter);
        return display->viewport()->rect().contains(display->cursorRect(end).center());
    };
    ASSERT_TRUE(endInView());

    // The lines rewrap into more rows: the newest stay in view.
    display->resize(display->width() / 3, display->height());
    EXPECT_TRUE(chattest::WaitFor(endInView));

    // Someone reading back is not taken to the end.
    QCoreApplication::processEvents();  // the scroll queued by the rewrap
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    display->resize(display->width() * 2, display->height());
    QCoreApplication::processEvents();
    EXPECT_LT(bar->value(), bar->maximum() / 2);
}
