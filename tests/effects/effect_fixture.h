#pragma once

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <chrono>

#include "effects/effect_ops.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"

// A main window bound to fakes, with the effect operations attached and the user owning
// the room.
class EffectFixture : public ::testing::Test {
protected:
    EffectFixture() : ops(tw.w()) {
        tw.w().SetEffectOperations(&ops);
        tw.w().SetIdentity(QStringLiteral("owner"), {});
        tw.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
        tw.skin.commands.clear();  // the cases look only at the skin commands they cause
    }

    CKestrivanDlg& w() { return tw.w(); }

    // Joins the window's chat connection to a scripted peer.
    void ConnectChat(const kvtest::ScriptPeer& peer) {
        auto& socket = *w().m_pChatSocket;
        ASSERT_TRUE(socket.Create());
        ASSERT_TRUE(socket.Connect("127.0.0.1", peer.port()));
        socket.Init();
    }

    QString Conversation() const { return tw.dlg->m_chatDisplay->toPlainText(); }

    QString Catalogue() { return w().endpoints().EffectCatalogue(); }

    static constexpr std::chrono::milliseconds kDeadline{5000};

    TestWindow tw;
    EffectOps ops;
};
