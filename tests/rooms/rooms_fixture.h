#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>
#include <memory>
#include <ostream>
#include <vector>

#include "fake_room_dialogs.h"
#include "net/protocol.h"
#include "rooms/room_ops.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"

using namespace std::chrono_literals;

// A code2 outside the catalogue: an answer the client does not expect.
inline constexpr std::int32_t kNotACode = 99;

// CMsg built in one expression for scripts and comparisons.
inline CMsg Rec(int c1, int c2, std::string text = {}, std::vector<std::string> list = {},
                int number = 0, std::vector<std::int32_t> array = {}) {
    CMsg m(c1, c2);
    m.text = std::move(text);
    m.list = std::move(list);
    m.number = number;
    m.array = std::move(array);
    return m;
}

// Readable records in test failures.
inline void PrintTo(const CMsg& m, std::ostream* os) {
    *os << "{" << m.code1 << ", " << m.code2 << "} text=\"" << m.text << "\" list=[";
    for (const auto& e : m.list) *os << "\"" << e << "\" ";
    *os << "] number=" << m.number << " array=[";
    for (auto v : m.array) *os << v << " ";
    *os << "]";
}

// One service exchange as the chat host answers it: the request, the reply, the closing notice.
inline kvtest::PeerScript Answer(const CMsg& reply) {
    kvtest::PeerScript s;
    s.StepTimeout(3000ms).Receive().Send(reply).Receive().Close();
    return s;
}

// A chat host that records what the client sends and never answers.
inline kvtest::PeerScript RecordingChat() {
    kvtest::PeerScript s;
    s.StepTimeout(10000ms);
    for (int i = 0; i < 8; ++i) s.Receive();
    return s;
}

// A window with fakes, a service peer on the service port and a chat peer whose port the
// fake join connects to. The join succeeds when `joinSucceeds` and the chat socket
// connects to m_chatPort.
struct RoomsFixture {
    explicit RoomsFixture(std::vector<kvtest::PeerScript> serviceScripts,
                          std::vector<kvtest::PeerScript> chatScripts = {})
        : service(serviceScripts.empty() ? std::vector<kvtest::PeerScript>{kvtest::PeerScript()}
                                         : std::move(serviceScripts)),
          chat(chatScripts.empty() ? std::vector<kvtest::PeerScript>{RecordingChat()}
                                   : std::move(chatScripts)),
          tw([this](WindowServices& s) { s.endpoints.servicePort = service.port(); }) {
        w().SetIdentity(QStringLiteral("alice"), {});
        ops = std::make_unique<RoomOps>(
            w(), dialogs, [this] { return Join(); }, [this] { ++effectsSent; });
        ops->Attach();
        ops->channels().SetProgressDelay(60000);
    }

    CKestrivanDlg& w() { return tw.w(); }

    bool Join() {
        ++joins;
        joinedPort = w().chatPort();
        if (!joinSucceeds || w().chatPort() < 0) return false;
        auto& s = *w().m_pChatSocket;
        s.Close();
        if (!s.Create() || !s.Connect("127.0.0.1", w().chatPort())) return false;
        s.Init();
        return true;
    }

    // Puts the window into a joined room on the chat peer without any exchange.
    void EnterRoomDirectly(const QString& room, const QString& owner, bool isOwner) {
        w().SetRoomPort(chat.port());
        ASSERT_TRUE(Join());
        w().EnterRoom(room);
        w().SetRoomOwner(owner);
        if (isOwner) w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
        tw.skin.commands.clear();  // the cases look only at the skin commands they cause
    }

    // Records the chat peer received, after waiting for `count` of them.
    std::vector<CMsg> ChatReceived(std::size_t count) {
        EXPECT_TRUE(chat.WaitForReceived(count, 3000ms));
        return chat.Received();
    }

    // Requests the service peer received (closing notices included).
    std::vector<CMsg> ServiceReceived(std::size_t count) {
        EXPECT_TRUE(service.WaitForReceived(count, 3000ms));
        return service.Received();
    }

    QStringList Transcript() { return w().m_chatDisplay->toPlainText().split(QLatin1Char('\n')); }

    kvtest::ScriptPeer service;
    kvtest::ScriptPeer chat;
    TestWindow tw;
    FakeRoomDialogs dialogs;
    std::unique_ptr<RoomOps> ops;
    bool joinSucceeds = true;
    int joins = 0;
    int joinedPort = -2;
    int effectsSent = 0;
};
