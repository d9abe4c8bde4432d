#include "e2e/e2e_client.h"

#include <QPlainTextEdit>
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
