#include "e2e/e2e_client.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

E2EClient::E2EClient(const ServicePorts& ports, const QString& name, const QString& server,
                     const std::function<void(WindowServices&)>& adjust)
    : tw([&ports, &adjust](WindowServices& s) {
          s.endpoints.loginPort = ports.login;
          s.endpoints.servicePort = ports.service;
          s.endpoints.webUrl = ports.web;
          s.sockets.connectTimeout = std::chrono::milliseconds(5000);
          s.sockets.ioTimeout = std::chrono::milliseconds(5000);
          if (adjust) adjust(s);
      }),
      loginDialog(name, server),
      login(tw.w(), loginDialog),
      effects(tw.w()),
      rooms(
          tw.w(), dialogs, [this] { return login.JoinChatServer(); },
          [this] { effects.SendEffectToUser(); }) {
    tw.w().SetRoomOperations(&rooms);
    tw.w().SetEffectOperations(&effects);
    tw.w().SetUp();
}

bool E2EClient::ChangeInto(const QString& room) {
    rooms.RefreshChannelList();
    QTreeWidget* list = w().m_channelList;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == room) {
            list->setCurrentItem(list->topLevelItem(i));
            list->topLevelItem(i)->setSelected(true);
            rooms.ChangeRoom();
            return w().roomName() == room && w().chatPort() != -1;
        }
    }
    return false;
}

bool E2EClient::SelectPerson(const QString& name) {
    for (int i = 0; i < tw.users.Count(); ++i) {
        if (tw.users.Text(i) == name) {
            tw.users.Select(i);
            return true;
        }
    }
    return false;
}

QString E2EClient::Conversation() const { return tw.dlg->m_chatDisplay->toPlainText(); }

void MeetTalkAndFind(const ServicePorts& ports, const QString& server,
                     const std::function<void(WindowServices&)>& adjust) {
    constexpr int kWait = 5000;
    E2EClient ann(ports, QStringLiteral("ann"), server, adjust);
    E2EClient bob(ports, QStringLiteral("bob"), server, adjust);
    ASSERT_TRUE(ann.LogIn()) << ann.tw.box.shown.join(u'|').toStdString();
    ASSERT_TRUE(bob.LogIn());
    ann.dialogs.roomNames.push_back(QStringLiteral("tea"));
    ann.rooms.OnNewRoom();
    ASSERT_TRUE(ann.w().isOwner());
    ASSERT_TRUE(bob.ChangeInto(QStringLiteral("tea"))) << bob.Conversation().toStdString();
    ann.w().SendChat(QStringLiteral("hello bob"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return bob.Hears(QStringLiteral("ann: hello bob")); }, kWait));
    bob.w().SendChat(QStringLiteral("hello ann"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ann.Hears(QStringLiteral("bob: hello ann")); }, kWait));
    EXPECT_EQ(ann.rooms.FindUser(QStringLiteral("bob")), QStringLiteral("tea"));
}
