#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "net/protocol.h"
#include "rooms/find_dlg.h"
#include "rooms/room_texts.h"
#include "rooms_fixture.h"

namespace {

TEST(FindUser, RoomFromTheAnswerEmptyForNobodyAndBoxForABrokenExchange) {
    kvtest::PeerScript cut;
    cut.Receive().Close();
    RoomsFixture f({Answer(Rec(code1::kReply, code2::kFindUser, "Lobby", {}, 1)),
                    Answer(Rec(code1::kReply, code2::kFindUser, "Ghost", {}, 0)),
                    Answer(Rec(code1::kReply, code2::kDeliverToUser, "Lobby", {}, 1)), cut});
    EXPECT_EQ(f.ops->FindUser(QStringLiteral("bob")), QStringLiteral("Lobby"));
    const auto got = f.ServiceReceived(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], Rec(code1::kRequest, code2::kFindUser, "bob"));
    EXPECT_EQ(got[1], Rec(code1::kRequest, code2::kClosing));
    EXPECT_TRUE(f.ops->FindUser(QStringLiteral("bob")).isEmpty());  // number 0 = in no room
    EXPECT_TRUE(f.ops->FindUser(QStringLiteral("bob")).isEmpty());  // other codes
    EXPECT_TRUE(f.tw.box.shown.isEmpty());
    EXPECT_TRUE(f.ops->FindUser(QStringLiteral("bob")).isEmpty());
    EXPECT_EQ(f.tw.box.shown, QStringList{RoomTexts::kUnableConnectServer});
}

TEST(SendToFoundUser, OneRequestWithOwnNameNicknameAndMessage) {
    kvtest::PeerScript deliver;
    deliver.StepTimeout(3000ms).Receive().Receive().Close();
    RoomsFixture f({deliver});
    f.ops->SendToFoundUser(QStringLiteral("bob"), QStringLiteral("Lobby"),
                           QString());  // no message
    f.ops->SendToFoundUser(QString(), QStringLiteral("Lobby"),
                           QStringLiteral("hi"));  // no nickname
    f.ops->SendToFoundUser(QStringLiteral("bob"), QStringLiteral("Lobby"),
                           QStringLiteral("hi bob"));
    f.ops->SendToFoundUser(QStringLiteral("bob"), QString(), QStringLiteral("anywhere"));
    const auto got = f.ServiceReceived(4);
    ASSERT_EQ(got.size(), 4u);
    // Two connections, each read on its own thread: their records may interleave.
    const auto count = [&got](const CMsg& m) { return std::count(got.begin(), got.end(), m); };
    EXPECT_EQ(
        count(Rec(code1::kRequest, code2::kDeliverToUser, "Lobby", {"alice", "bob", "hi bob"})), 1);
    EXPECT_EQ(count(Rec(code1::kRequest, code2::kDeliverToUser, "", {"alice", "bob", "anywhere"})),
              1);
    EXPECT_EQ(count(Rec(code1::kRequest, code2::kClosing)), 2);
    EXPECT_EQ(f.service.Accepted(), 2);
    EXPECT_TRUE(f.tw.box.shown.isEmpty());
}

TEST(SendToFoundUser, FailedDeliveryIsReportedLikeTheLookUp) {
    // The service accepts but never reads: a delivery larger than the socket buffers
    // cannot be written before the time-out.
    kvtest::PeerScript stalled;
    stalled.Wait(5000ms).Close();
    kvtest::ScriptPeer service(stalled);
    TestWindow tw([&](WindowServices& s) {
        s.endpoints.servicePort = service.port();
        s.sockets.ioTimeout = std::chrono::milliseconds(300);
    });
    FakeRoomDialogs dialogs;
    RoomOps ops(tw.w(), dialogs, [] { return true; });
    ops.SendToFoundUser(QStringLiteral("bob"), QStringLiteral("Lobby"),
                        QString(12 * 1024 * 1024, QLatin1Char('m')));
    EXPECT_EQ(tw.box.shown, QStringList{RoomTexts::kUnableConnectServer});
}

// Finds people through a scripted search.
class ScriptedSearch : public PeopleSearch {
public:
    QString FindUser(const QString& nickname) override {
        looked << nickname;
        return rooms.value(nickname);
    }
    void SendToFoundUser(const QString& nickname, const QString& room,
                         const QString& message) override {
        delivered << nickname + QLatin1Char('|') + room + QLatin1Char('|') + message;
    }
    QMap<QString, QString> rooms;
    QStringList looked;
    QStringList delivered;
};

struct FindDialog {
    FindDialog() {
        nickname = dlg.findChild<QLineEdit*>(QStringLiteral("nicknameEdit"));
        result = dlg.findChild<QPlainTextEdit*>(QStringLiteral("resultEdit"));
        message = dlg.findChild<QPlainTextEdit*>(QStringLiteral("messageEdit"));
        find = dlg.findChild<QPushButton*>(QStringLiteral("findButton"));
    }
    CFindDlg dlg;
    QLineEdit* nickname;
    QPlainTextEdit* result;
    QPlainTextEdit* message;
    QPushButton* find;
};

TEST(FindDialog, ResultTextsWithAndWithoutMessage) {
    FindDialog d;
    ASSERT_TRUE(d.nickname && d.result && d.message && d.find);
    EXPECT_TRUE(d.result->isReadOnly());
    EXPECT_EQ(d.dlg.windowTitle(), QStringLiteral("Find people"));

    // No owner set: "Error!".
    d.nickname->setText(QStringLiteral("bob"));
    d.find->click();
    EXPECT_EQ(d.result->toPlainText(), QStringLiteral("Error!"));

    ScriptedSearch search;
    search.rooms[QStringLiteral("bob")] = QStringLiteral("Lobby");
    d.dlg.SetSearch(&search);

    d.nickname->clear();
    d.find->click();
    EXPECT_TRUE(search.looked.isEmpty());  // an empty nickname changes nothing
    EXPECT_EQ(d.result->toPlainText(), QStringLiteral("Error!"));

    d.nickname->setText(QStringLiteral("bob"));
    d.find->click();
    EXPECT_EQ(d.result->toPlainText(), QStringLiteral("bob is in Room [Lobby]."));
    EXPECT_TRUE(search.delivered.isEmpty());

    d.message->setPlainText(QStringLiteral("hi bob"));
    d.find->click();
    EXPECT_EQ(d.result->toPlainText(),
              QStringLiteral("bob is in Room [Lobby] and message is sent."));
    EXPECT_EQ(search.delivered, QStringList{QStringLiteral("bob|Lobby|hi bob")});
    EXPECT_TRUE(d.message->toPlainText().isEmpty());

    // Somebody in no room: the message stays and is not sent.
    d.nickname->setText(QStringLiteral(" carol"));
    d.message->setPlainText(QStringLiteral("where are you"));
    d.find->click();
    EXPECT_EQ(d.result->toPlainText(), QStringLiteral(" carol is not in any room!"));
    EXPECT_EQ(d.message->toPlainText(), QStringLiteral("where are you"));
    EXPECT_EQ(search.delivered.size(), 1);
    EXPECT_EQ(search.looked.last(), QStringLiteral(" carol"));  // taken as typed
}

TEST(FindDialog, EnterInTheMessagePressesFind) {
    FindDialog d;
    ScriptedSearch search;
    search.rooms[QStringLiteral("bob")] = QStringLiteral("Lobby");
    d.dlg.SetSearch(&search);
    d.nickname->setText(QStringLiteral("bob"));
    d.message->setPlainText(QStringLiteral("ping"));
    QTest::keyClick(d.message, Qt::Key_Return);
    EXPECT_EQ(search.delivered, QStringList{QStringLiteral("bob|Lobby|ping")});
    EXPECT_FALSE(d.message->toPlainText().contains(QLatin1Char('\n')));
}

TEST(FindPeople, WindowButtonsOpenFindAndNewRoom) {
    RoomsFixture f({});
    auto* find = qobject_cast<QPushButton*>(f.w().Control(1007));
    ASSERT_NE(find, nullptr);
    find->click();
    EXPECT_EQ(f.dialogs.findSearch, &f.ops->finder());
    // The hidden New Room button reaches the creation too.
    auto* newRoom = qobject_cast<QPushButton*>(f.w().Control(1017));
    ASSERT_NE(newRoom, nullptr);
    newRoom->click();
    EXPECT_EQ(f.dialogs.newRoomAsked, 1);
}

}  // namespace
