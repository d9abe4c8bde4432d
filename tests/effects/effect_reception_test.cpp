#include "chat/web_address.h"
#include "effect_fixture.h"
#include "effects/effect_texts.h"
#include "net/protocol.h"

namespace texts = effect_texts;

namespace {
const QString kPic = QStringLiteral("http://127.0.0.1:1/effect/pic/heart.htm");
const QString kPic2 = QStringLiteral("https://127.0.0.1:1/effect/pic/star.htm");
const QString kSound = QStringLiteral("http://127.0.0.1:1/effect/sound/bell.htm");

CMsg EffectRecord(int code2, const QString& address, const std::string& sender) {
    CMsg msg(code1::kUserAction, code2);
    msg.text = address.toStdString();
    msg.list = {sender};
    return msg;
}

const QStringList kWingCommands{texts::ShowEffectWing(), texts::EnableCloseEffect()};
}  // namespace

TEST_F(EffectFixture, ImageEffectShowsPaneWingAndLine) {
    w().GiveUpOwnership(CKestrivanDlg::OwnerLoss::ByOwner);  // anybody receives
    tw.skin.commands.clear();
    CMsg msg = EffectRecord(code2::kImageEffect, kPic, "alice");
    w().DispatchRecord(msg);

    EXPECT_TRUE(tw.effectPane.IsVisible());
    EXPECT_EQ(tw.skin.commands, kWingCommands);
    EXPECT_EQ(tw.effectPane.calls, QStringList{QStringLiteral("Navigate ") + kPic});
    EXPECT_TRUE(Conversation().contains(QStringLiteral("alice send you a image effect!")));
    EXPECT_TRUE(tw.box.shown.isEmpty());

    // A second image replaces the first, and the conversation gets a second line.
    msg = EffectRecord(code2::kImageEffect, kPic2, "bob");
    w().DispatchRecord(msg);
    EXPECT_EQ(tw.effectPane.Address(), kPic2);
    EXPECT_EQ(Conversation().count(QStringLiteral(" send you a image effect!")), 2);
}

TEST_F(EffectFixture, Code22IsHandledExactlyLike21) {
    TestWindow other;
    EffectOps otherOps(other.w());
    other.w().SetEffectOperations(&otherOps);

    CMsg a = EffectRecord(code2::kImageEffect, kPic, "alice");
    CMsg b = EffectRecord(code2::kImageEffectAlt, kPic, "alice");
    w().DispatchRecord(a);
    other.w().DispatchRecord(b);

    EXPECT_EQ(other.effectPane.IsVisible(), tw.effectPane.IsVisible());
    EXPECT_EQ(other.effectPane.calls, tw.effectPane.calls);
    EXPECT_EQ(other.skin.commands, tw.skin.commands);
    EXPECT_EQ(other.w().m_chatDisplay->toPlainText(), Conversation());
    EXPECT_FALSE(tw.effectPane.calls.isEmpty());
}

TEST_F(EffectFixture, SoundEffectKeepsHiddenPaneHiddenButOpensTheWing) {
    w().SetSoundOn(false);  // effects do not depend on the program's sound setting
    CMsg msg = EffectRecord(code2::kSoundEffect, kSound, "alice");
    w().DispatchRecord(msg);

    EXPECT_FALSE(tw.effectPane.IsVisible());
    EXPECT_EQ(tw.skin.commands, kWingCommands);
    EXPECT_EQ(tw.effectPane.calls, QStringList{QStringLiteral("Navigate ") + kSound});
    EXPECT_TRUE(Conversation().contains(QStringLiteral("alice send you a sound effect!")));
    EXPECT_TRUE(tw.sounds.played.empty());

    // A visible pane stays visible and its page is replaced.
    tw.effectPane.SetVisible(true);
    tw.effectPane.SetPage(Catalogue(), QStringLiteral("Effects"));
    ops.ReceiveSoundEffect(kSound, QStringLiteral("bob"));
    EXPECT_TRUE(tw.effectPane.IsVisible());
    EXPECT_EQ(tw.effectPane.Address(), kSound);
}

TEST_F(EffectFixture, AddressesThatAreNotWebPagesAreRefused) {
    const QStringList refused{QStringLiteral("file:///etc/passwd"),
                              QStringLiteral("javascript:alert(1)"),
                              QStringLiteral("data:text/html,<script>alert(1)</script>"),
                              QStringLiteral("ftp://127.0.0.1/x.htm"),
                              QStringLiteral("/effect/pic/heart.htm"),
                              QStringLiteral("http:///nohost"),
                              QString()};
    for (const QString& address : refused) {
        w().m_chatDisplay->clear();
        ops.ReceiveImageEffect(address, QStringLiteral("alice"));
        ops.ReceiveSoundEffect(address, QStringLiteral("alice"));
        EXPECT_EQ(Conversation().count(RefusedAddressLine(address)), 2) << address.toStdString();
        EXPECT_FALSE(Conversation().contains(QStringLiteral("send you a")))
            << address.toStdString();
    }
    EXPECT_TRUE(tw.effectPane.calls.isEmpty());
    EXPECT_FALSE(tw.effectPane.IsVisible());
    EXPECT_TRUE(tw.skin.commands.isEmpty());
}

// A window with no parts attached still runs every path that uses them: the live show,
// effect reception and the effect pane go to stand-ins instead of null parts.
TEST(EffectsWithoutParts, LiveShowAndEffectsReachStandIns) {
    CKestrivanDlg window{WindowServices{}};
    EffectOps effects(window);
    window.SetEffectOperations(&effects);
    window.SetUp();

    CMsg show(14, 48);
    show.text = "http://127.0.0.1:1/live.asx";
    window.DispatchRecord(show);
    EXPECT_EQ(window.mediaAddress(), QStringLiteral("http://127.0.0.1:1/live.asx"));

    CMsg image = EffectRecord(code2::kImageEffect, kPic, "alice");
    window.DispatchRecord(image);
    effects.ShowEffectCatalogue();
    effects.CloseEffectPane();
    EXPECT_TRUE(window.m_chatDisplay->toPlainText().contains(
        QStringLiteral("alice send you a image effect!")));
}
