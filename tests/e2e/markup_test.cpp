// Names and texts from the network are shown as the text they are, never as markup, in every
// place of the window that can hold one.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include "chat/kestrivan_dlg.h"
#include "e2e/e2e_client.h"
#include "net/cmsg.h"
#include "net/protocol.h"
#include "rooms/user_list_box.h"
#include "shell/skin_loader.h"
#include "shell/skin_widget.h"

namespace {

const QString kMarkup = QStringLiteral("<b>x</b>");

TEST(Markup, ServerNamesStayPlainText) {
    ZorvidProcess zorvid;  // not contacted; gives the client its endpoints
    E2EClient client(zorvid, QStringLiteral("ann"));
    CKestrivanDlg& w = client.w();

    // A person joining, a line, a private message and a notice carrying markup.
    CMsg joined(code1::kReply, code2::kPersonEntered);
    joined.text = kMarkup.toStdString();
    w.DispatchRecord(joined);
    CMsg line(code1::kReply, code2::kChatLine);
    line.list = {"<i>hello</i>"};
    w.DispatchRecord(line);
    CMsg whisper(code1::kReply, code2::kPrivateMessage);
    whisper.text = "<u>psst</u>";
    whisper.list = {kMarkup.toStdString()};
    w.DispatchRecord(whisper);

    EXPECT_TRUE(w.m_chatDisplay->toPlainText().contains(QStringLiteral("<i>hello</i>")));
    EXPECT_TRUE(w.m_chatDisplay->toPlainText().contains(kMarkup + QStringLiteral("-><u>psst</u>")));
    EXPECT_EQ(client.tw.users.Text(0), kMarkup);

    // The title line holds the names as they came.
    w.EnterRoom(kMarkup);
    w.SetRoomOwner(kMarkup);
    client.rooms.RefreshRoomView();
    EXPECT_TRUE(w.m_roomTitleEdit->text().startsWith(kMarkup));
}

TEST(Markup, RoomNamesInTheChannelListStayPlainText) {
    ZorvidProcess zorvid;
    ASSERT_TRUE(zorvid.running()) << zorvid.log().toStdString();
    E2EClient owner(zorvid, QStringLiteral("owner"));
    E2EClient guest(zorvid, QStringLiteral("guest"));
    ASSERT_TRUE(owner.LogIn());
    ASSERT_TRUE(guest.LogIn());
    const QString room = QStringLiteral("<i>tea</i> &amp; <b>cake</b>");
    owner.dialogs.roomNames.push_back(room);
    owner.rooms.OnNewRoom();
    ASSERT_EQ(owner.w().roomName(), room);

    // The other person's list comes from the service; the row reads exactly the name.
    guest.rooms.RefreshChannelList();
    const QTreeWidget* list = guest.w().m_channelList;
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) rows << list->topLevelItem(i)->text(0);
    EXPECT_TRUE(rows.contains(room)) << rows.join(QLatin1Char('|')).toStdString();

    // Entering through that row puts the same characters in the title line.
    ASSERT_TRUE(guest.ChangeInto(room)) << guest.Conversation().toStdString();
    EXPECT_TRUE(guest.w().m_roomTitleEdit->text().startsWith(room))
        << guest.w().m_roomTitleEdit->text().toStdString();
}

TEST(Markup, SkinNameAndUserListRenderLiterally) {
    QString error;
    auto model = SkinLoader::FromFile(SkinLoader::DefaultSkinPath(), &error);
    ASSERT_TRUE(model) << error.toStdString();
    SkinWidget skin(*model);
    skin.SetSkinElementText(QStringLiteral("name"), kMarkup);
    auto* label = qobject_cast<QLabel*>(skin.Element(QStringLiteral("name")));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), kMarkup);

    CUserListBox users;
    users.AddColoredName(kMarkup, 0);
    EXPECT_EQ(users.item(0)->text(), kMarkup);
    EXPECT_EQ(users.item(0)->data(Qt::DisplayRole).toString(), kMarkup);
}

}  // namespace
