#include "effect_fixture.h"
#include "effects/effect_texts.h"
#include "net/protocol.h"

using kvtest::PeerScript;
using kvtest::ScriptPeer;
namespace texts = effect_texts;

namespace {
const QString kPicPage = QStringLiteral("http://127.0.0.1:1/effect/pic/heart.htm");
const QString kSoundPage = QStringLiteral("http://127.0.0.1:1/effect/sound/bell.htm");
}  // namespace

TEST_F(EffectFixture, OnlyExactTitlesCountAsEffectPages) {
    tw.effectPane.SetVisible(true);
    for (const QString& title :
         {QStringLiteral("choosepic"), QStringLiteral("CHOOSESOUND"), QStringLiteral("ChoosePic "),
          QStringLiteral("Choose Pic"), QString()}) {
        tw.box.shown.clear();
        tw.effectPane.SetPage(kPicPage, title);
        ops.SendEffectToAll();
        EXPECT_EQ(tw.box.shown, QStringList{texts::ChooseEffectFirst()}) << title.toStdString();

        tw.box.shown.clear();
        tw.users.AddColoredName(QStringLiteral("bob"), 0);
        tw.users.Select(0);
        ops.SendEffectToUser();
        EXPECT_EQ(tw.box.shown, QStringList{texts::ChooseOneEffect()}) << title.toStdString();
        tw.users.Clear();
    }
}

TEST_F(EffectFixture, SendToAllWritesOneEntryRecordEvenWithPaneHidden) {
    ScriptPeer peer(PeerScript().Receive().Receive().ExpectEnd());
    ConnectChat(peer);
    tw.effectPane.SetVisible(false);

    tw.effectPane.SetPage(kPicPage, texts::ImageEffectTitle());
    ops.SendEffectToAll();
    tw.effectPane.SetPage(kSoundPage, texts::SoundEffectTitle());
    ops.SendEffectToAll();

    ASSERT_TRUE(peer.WaitForReceived(2, kDeadline));
    const auto got = peer.Received();
    CMsg image(code1::kUserAction, code2::kImageEffect);
    image.text = kPicPage.toStdString();
    image.list = {"owner"};
    CMsg sound(code1::kUserAction, code2::kSoundEffect);
    sound.text = kSoundPage.toStdString();
    sound.list = {"owner"};
    EXPECT_EQ(got.at(0), image);
    EXPECT_EQ(got.at(1), sound);
    EXPECT_EQ(tw.box.shown, QStringList({texts::SentToAll(), texts::SentToAll()}));
    EXPECT_FALSE(tw.effectPane.IsVisible());
}

TEST_F(EffectFixture, SendToUserWritesSenderAndTargetUnchanged) {
    ScriptPeer peer(PeerScript().Receive().Receive().ExpectEnd());
    ConnectChat(peer);
    tw.effectPane.SetVisible(true);
    // Names are sent as the list shows them, markup and the sender's own name included.
    tw.users.AddColoredName(QStringLiteral("<b>x</b>"), 0);
    tw.users.AddColoredName(QStringLiteral("owner"), kOwnerColour);

    tw.effectPane.SetPage(kSoundPage, texts::SoundEffectTitle());
    tw.users.Select(0);
    ops.SendEffectToUser();
    tw.effectPane.SetPage(kPicPage, texts::ImageEffectTitle());
    tw.users.Select(1);
    ops.SendEffectToUser();

    ASSERT_TRUE(peer.WaitForReceived(2, kDeadline));
    const auto got = peer.Received();
    CMsg sound(code1::kUserAction, code2::kSoundEffect);
    sound.text = kSoundPage.toStdString();
    sound.list = {"owner", "<b>x</b>"};
    sound.number = 1;
    CMsg image(code1::kUserAction, code2::kImageEffect);
    image.text = kPicPage.toStdString();
    image.list = {"owner", "owner"};
    image.number = 1;
    EXPECT_EQ(got.at(0), sound);
    EXPECT_EQ(got.at(1), image);
    EXPECT_EQ(tw.box.shown, QStringList({texts::SentToUser(QStringLiteral("<b>x</b>")),
                                         texts::SentToUser(QStringLiteral("owner"))}));
}

TEST_F(EffectFixture, NonOwnerIsToldInTheRightOrderAndNothingIsSent) {
    ScriptPeer peer(PeerScript().Receive().StepTimeout(std::chrono::milliseconds(300)));
    ConnectChat(peer);
    w().GiveUpOwnership(CKestrivanDlg::OwnerLoss::ByOwner);
    tw.effectPane.SetVisible(true);

    // To all: the page is checked before ownership.
    tw.effectPane.SetPage(Catalogue(), QStringLiteral("Effects"));
    ops.SendEffectToAll();
    tw.effectPane.SetPage(kPicPage, texts::ImageEffectTitle());
    ops.SendEffectToAll();
    tw.effectPane.SetPage(kSoundPage, texts::SoundEffectTitle());
    ops.SendEffectToAll();
    // To one person: ownership first, even with nobody selected.
    ops.SendEffectToUser();
    // Called directly, sending still refuses.
    ops.SendImageEffect(kPicPage, QStringLiteral("bob"));

    EXPECT_EQ(tw.box.shown, QStringList({texts::ChooseEffectFirst(), texts::NotOwnerCannotSend(),
                                         texts::NotOwnerCannotSend(), texts::OnlyOwnerCanSend(),
                                         texts::NotOwnerCannotSend()}));
    ASSERT_TRUE(peer.WaitForFinished(1, kDeadline));
    EXPECT_TRUE(peer.Received().empty());
}

TEST_F(EffectFixture, SendToUserChecksSelectionThenPaneThenPage) {
    tw.effectPane.SetPage(kPicPage, texts::ImageEffectTitle());
    tw.effectPane.SetVisible(true);

    // Nobody selected: nothing at all.
    tw.users.AddColoredName(QStringLiteral("bob"), 0);
    ops.SendEffectToUser();
    EXPECT_TRUE(tw.box.shown.isEmpty());

    tw.users.Select(0);
    tw.effectPane.SetVisible(false);
    ops.SendEffectToUser();
    EXPECT_EQ(tw.box.shown, QStringList{texts::OpenEffectPaneFirst()});

    tw.box.shown.clear();
    tw.effectPane.SetVisible(true);
    tw.effectPane.SetPage(Catalogue(), QStringLiteral("Effects"));
    ops.SendEffectToUser();
    EXPECT_EQ(tw.box.shown, QStringList{texts::ChooseOneEffect()});
}

TEST_F(EffectFixture, ConfirmationDependsOnTheWrite) {
    // Without a connection object the confirmation is shown all the same.
    w().m_pChatSocket.reset();
    ops.SendSoundEffect(kSoundPage, QString());
    EXPECT_EQ(tw.box.shown, QStringList{texts::SentToAll()});

    // A connection whose socket has gone fails the write: no false confirmation.
    tw.box.shown.clear();
    w().m_pChatSocket = std::make_unique<zorvi::ChatSocket>(nullptr, w().services().sockets);
    ScriptPeer peer(PeerScript().Close());
    ConnectChat(peer);
    w().m_pChatSocket->Close();
    ops.SendImageEffect(kPicPage, QStringLiteral("bob"));
    EXPECT_EQ(tw.box.shown, QStringList{texts::SendFailed()});
}

TEST_F(EffectFixture, CatalogueOpensShownAndBackStopsAtIt) {
    ops.ShowEffectCatalogue();
    EXPECT_TRUE(tw.effectPane.IsVisible());
    EXPECT_EQ(tw.effectPane.calls, QStringList{QStringLiteral("Navigate ") + Catalogue()});
    EXPECT_TRUE(Catalogue().endsWith(QLatin1String("/effect/effectlist.htm")));

    // On the catalogue itself, back does nothing.
    tw.effectPane.calls.clear();
    ops.BackInCatalogue();
    EXPECT_TRUE(tw.effectPane.calls.isEmpty());

    tw.effectPane.SetPage(kPicPage, texts::ImageEffectTitle());
    ops.BackInCatalogue();
    EXPECT_EQ(tw.effectPane.calls, QStringList{QStringLiteral("GoBack")});

    // Somebody who does not own the room cannot go back at all.
    tw.effectPane.calls.clear();
    w().GiveUpOwnership(CKestrivanDlg::OwnerLoss::ByOwner);
    ops.BackInCatalogue();
    EXPECT_TRUE(tw.effectPane.calls.isEmpty());
}

TEST_F(EffectFixture, ClosingThePaneCarriesTheWingSound) {
    w().SetSoundOn(true);
    ops.ShowEffectCatalogue();
    EXPECT_TRUE(tw.effectPane.IsVisible());
    EXPECT_TRUE(tw.sounds.played.empty()) << "the skin plays the wing sound, not the catalogue";

    // Visible: loading is stopped before the pane goes.
    tw.effectPane.calls.clear();
    ops.CloseEffectPane();
    EXPECT_FALSE(tw.effectPane.IsVisible());
    EXPECT_EQ(tw.effectPane.calls, QStringList{QStringLiteral("Stop")});
    ASSERT_EQ(tw.sounds.played.size(), 1u);
    EXPECT_EQ(tw.sounds.played[0].first, ProgramSound::Wing);
    EXPECT_FALSE(tw.sounds.played[0].second);

    // Already hidden: no stop, but the wing sound still plays.
    tw.effectPane.calls.clear();
    ops.CloseEffectPane();
    EXPECT_TRUE(tw.effectPane.calls.isEmpty());
    EXPECT_EQ(tw.sounds.played.size(), 2u);

    w().SetSoundOn(false);
    ops.CloseEffectPane();
    EXPECT_EQ(tw.sounds.played.size(), 2u);
}
