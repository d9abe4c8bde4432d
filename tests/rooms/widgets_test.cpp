#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "rooms/new_room_dlg.h"
#include "rooms/private_message_dlg.h"
#include "rooms/room_texts.h"
#include "rooms/user_entry_delegate.h"
#include "rooms/user_list_box.h"
#include "support/fakes.h"

namespace {

QStringList Names(const CUserListBox& list) {
    QStringList n;
    for (int i = 0; i < list.Count(); ++i) n << list.Text(i);
    return n;
}

TEST(UserListBox, SortsIgnoringCaseAndRemovesWholeNamesOnly) {
    CUserListBox list;
    EXPECT_EQ(list.AddColoredName(QStringLiteral("carol"), 0), 0);
    EXPECT_EQ(list.AddColoredName(QStringLiteral("Bobby"), 0), 0);
    EXPECT_EQ(list.AddColoredName(QStringLiteral("alice"), 0), 0);
    EXPECT_EQ(list.AddColoredName(QStringLiteral("bob"), kOwnerColour), 1);
    EXPECT_EQ(list.AddColoredName(QStringLiteral("<b>Dave</b>"), 0), 0);
    EXPECT_EQ(Names(list), (QStringList{"<b>Dave</b>", "alice", "bob", "Bobby", "carol"}));
    EXPECT_EQ(list.Colour(2), kOwnerColour);
    EXPECT_EQ(list.Colour(3), 0u);

    list.Select(3);
    EXPECT_EQ(list.SelectedIndex(), 3);
    EXPECT_TRUE(list.RemoveNameIgnoringCase(QStringLiteral("BOB")));
    EXPECT_EQ(Names(list), (QStringList{"<b>Dave</b>", "alice", "Bobby", "carol"}));
    EXPECT_FALSE(list.RemoveNameIgnoringCase(QStringLiteral("bo")));
    EXPECT_EQ(list.SelectedIndex(), 2);  // Bobby stays selected
    list.Select(-1);
    EXPECT_EQ(list.SelectedIndex(), -1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.SelectedIndex(), -1);
}

TEST(UserListBox, EntryColoursFollowSelectionAndTheOwnersBlue) {
    QPalette palette;
    palette.setColor(QPalette::WindowText, QColor(10, 20, 30));
    palette.setColor(QPalette::HighlightedText, QColor(250, 250, 240));
    palette.setColor(QPalette::Highlight, QColor(0, 90, 180));
    EXPECT_EQ(UserEntryDelegate::FromBgr(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(UserEntryDelegate::FromBgr(0x0000FF), QColor(255, 0, 0));

    auto c = UserEntryDelegate::EntryColours(0, false, palette);
    EXPECT_EQ(c.text, QColor(10, 20, 30));
    EXPECT_EQ(c.background, QColor(Qt::white));
    c = UserEntryDelegate::EntryColours(kOwnerColour, false, palette);
    EXPECT_EQ(c.text, QColor(0, 0, 255));
    c = UserEntryDelegate::EntryColours(kOwnerColour, true, palette);
    EXPECT_EQ(c.text, QColor(250, 250, 240));
    EXPECT_EQ(c.background, QColor(0, 90, 180));
}

// Counts pixels of exactly `colour` in the entry's row of a rendering of the list.
int PixelsOf(CUserListBox& list, int row, const QColor& colour) {
    QImage image(list.viewport()->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    list.viewport()->render(&image);
    const QRect r = list.visualItemRect(list.item(row)).intersected(image.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (QColor(image.pixel(x, y)) == colour) ++n;
    return n;
}

TEST(UserListBox, DrawsTheOwnerInBlueUntilSelected) {
    CUserListBox list;
    QFont font = list.font();
    font.setStyleStrategy(QFont::NoAntialias);
    font.setPointSize(14);
    list.setFont(font);
    list.resize(200, 120);
    list.AddColoredName(QStringLiteral("WWWW bob"), kOwnerColour);
    list.AddColoredName(QStringLiteral("WWWW carol"), 0);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const QColor blue(0, 0, 255);
    EXPECT_GT(PixelsOf(list, 0, blue), 10);
    EXPECT_EQ(PixelsOf(list, 1, blue), 0);

    list.Select(0);
    EXPECT_EQ(PixelsOf(list, 0, blue), 0);
    const QColor highlight = list.palette().color(QPalette::Highlight);
    EXPECT_GT(PixelsOf(list, 0, highlight), 10);
    list.Select(-1);
    EXPECT_GT(PixelsOf(list, 0, blue), 10);
}

TEST(NewRoomDialog, NameLimitedToTwentyCharactersAndEmptyAccepted) {
    CNewRoomDlg dlg;
    auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("newRoomNameEdit"));
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Create New room"));
    QTest::keyClicks(edit, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(edit->text(), QStringLiteral("abcdefghijklmnopqrst"));
    dlg.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_newRoomName, QStringLiteral("abcdefghijklmnopqrst"));

    CNewRoomDlg empty;
    empty.accept();
    EXPECT_EQ(empty.result(), QDialog::Accepted);
    EXPECT_TRUE(empty.m_newRoomName.isEmpty());
}

TEST(PrivateMessageDialog, TwoHundredFiftyCharactersThenTheLimitMessage) {
    FakeMessageBox box;
    CPrivateMessageDlg dlg(&box);
    dlg.m_recipient = QStringLiteral("bob");
    dlg.LoadMembers();
    auto* recipient = dlg.findChild<QLineEdit*>(QStringLiteral("recipientEdit"));
    auto* message = dlg.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
    ASSERT_TRUE(recipient && message);
    EXPECT_EQ(recipient->text(), QStringLiteral("bob"));
    EXPECT_TRUE(recipient->isReadOnly());

    message->setFocus();
    QTest::keyClicks(message, QString(249, QLatin1Char('a')));
    QTest::keyClicks(message, QStringLiteral("b"));
    EXPECT_EQ(message->toPlainText().size(), 250);
    EXPECT_TRUE(box.shown.isEmpty());
    QTest::keyClicks(message, QStringLiteral("c"));
    EXPECT_EQ(box.shown, QStringList{QStringLiteral("Out of the maximum message length 250!")});
    EXPECT_EQ(message->toPlainText(), QString(249, QLatin1Char('a')) + QLatin1Char('b'));

    // A paste in the middle keeps what fits of it and the text after it.
    message->setPlainText(QString(240, QLatin1Char('x')) + QStringLiteral("END"));
    QTextCursor at = message->textCursor();
    at.setPosition(10);
    message->setTextCursor(at);
    message->insertPlainText(QString(20, QLatin1Char('p')));
    EXPECT_EQ(message->toPlainText(), QString(10, QLatin1Char('x')) + QString(7, QLatin1Char('p')) +
                                          QString(230, QLatin1Char('x')) + QStringLiteral("END"));
    EXPECT_EQ(box.shown.size(), 2);
}

TEST(PrivateMessageDialog, EnterPressesSend) {
    CPrivateMessageDlg dlg(nullptr);
    dlg.m_recipient = QStringLiteral("bob");
    dlg.LoadMembers();
    auto* message = dlg.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
    QSignalSpy accepted(&dlg, &QDialog::accepted);
    QTest::keyClicks(message, QStringLiteral("hello"));
    QTest::keyClick(message, Qt::Key_Return);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(dlg.m_message, QStringLiteral("hello"));
    EXPECT_EQ(dlg.m_recipient, QStringLiteral("bob"));
}

}  // namespace
