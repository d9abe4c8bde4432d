#pragma once

#include <QPlainTextEdit>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <chrono>
#include <functional>

#include "chat/window_operations.h"
#include "net/codec.h"
#include "net/protocol.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"

namespace chattest {

// A code2 outside the catalogue: the client must ignore it.
inline constexpr std::int32_t kNotACode = 99;

using namespace std::chrono_literals;

// Records what the window asks of the rooms subsystem; FindUser answers from `rooms`.
class RecordingRooms : public RoomOperations {
public:
    void RefreshRoomView() override { calls << QStringLiteral("RefreshRoomView"); }
    void SendPrivateMessage(const QString& message, const QString& recipient) override {
        calls << QStringLiteral("SendPrivateMessage ") + recipient + QStringLiteral(" | ") +
                     message;
    }
    QString FindUser(const QString& nickname) override {
        calls << QStringLiteral("FindUser ") + nickname;
        return room;
    }
    QStringList calls;
    QString room;
};

class RecordingEffects : public EffectOperations {
public:
    void ReceiveImageEffect(const QString& a, const QString& s) override {
        calls << QStringLiteral("image ") + a + QStringLiteral(" from ") + s;
    }
    void ReceiveSoundEffect(const QString& a, const QString& s) override {
        calls << QStringLiteral("sound ") + a + QStringLiteral(" from ") + s;
    }
    void LiveShowByAddress(const CMsg& m) override {
        calls << QStringLiteral("show ") + QString::fromStdString(m.text);
    }
    void LiveShowByPlaylist(const CMsg& m) override {
        calls << QStringLiteral("playlist ") + QString::fromStdString(m.text);
    }
    QStringList calls;
};

inline CMsg Record(int code2, const std::string& text = {}, std::vector<std::string> list = {},
                   int number = 0) {
    CMsg m(code1::kRequest, code2);
    m.text = text;
    m.list = std::move(list);
    m.number = number;
    return m;
}

inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    return QTest::qWaitFor(done, ms);
}

// A main window bound to fakes, with recording room and effect operations, an
// installation folder of its own and a chat connection to a scripted loopback peer.
struct ChatHarness : TestWindow {
    ChatHarness() {
        w().SetRoomOperations(&rooms);
        w().SetEffectOperations(&effects);
        w().SetIdentity(QStringLiteral("me"), {});
        // The server list is written below the installation folder, never the test's
        // working folder.
        install = dir.filePath(QStringLiteral("install"));
        QDir().mkpath(install + QStringLiteral("/config"));
        QSettings machine(settings->machineFile(), QSettings::IniFormat);
        machine.setValue(QStringLiteral("1.1b/Path"), install);
        machine.sync();
    }

    bool Join(const kvtest::ScriptPeer& peer) {
        zorvi::ChatSocket& s = *w().m_pChatSocket;
        if (!s.Create() || !s.Connect("127.0.0.1", peer.port())) return false;
        s.Init();
        return true;
    }

    QString Display() const { return dlg->m_chatDisplay->toPlainText(); }
    QStringList Lines() const {
        QStringList lines = Display().split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }

    RecordingRooms rooms;
    RecordingEffects effects;
    QString install;
};

// Joined to a chat host that records every record the window sends until the window closes.
struct ListeningHarness : ChatHarness {
    ListeningHarness() : peer(Listens()) { joined = Join(peer); }

    // Everything sent so far: the window closes its side and the peer reports it.
    std::vector<CMsg> Sent() {
        w().m_pChatSocket->Close();
        peer.WaitForFinished(1, std::chrono::seconds(5));
        return peer.Received();
    }

    static kvtest::PeerScript Listens() {
        kvtest::PeerScript s;
        s.ExpectEnd();
        return s;
    }

    kvtest::ScriptPeer peer;
    bool joined = false;
};

}  // namespace chattest
