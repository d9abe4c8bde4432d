#include "effects/effect_ops.h"

#include <QDir>

#include "app/install_paths.h"
#include "app/settings_store.h"
#include "chat/kestrivan_dlg.h"
#include "chat/user_list.h"
#include "chat/web_address.h"
#include "effects/effect_texts.h"
#include "effects/live_show_playlist.h"
#include "net/protocol.h"

EffectOps::EffectOps(CKestrivanDlg& dlg) : dlg_(dlg) {}

void EffectOps::RedrawWindow() { dlg_.repaint(); }

void EffectOps::ShowEffectCatalogue() {
    dlg_.m_effectBrowser->SetVisible(true);
    RedrawWindow();
    dlg_.m_effectBrowser->Navigate(dlg_.endpoints().EffectCatalogue());
}

void EffectOps::BackInCatalogue() {
    if (!dlg_.isOwner()) return;
    if (dlg_.m_effectBrowser->Address() != dlg_.endpoints().EffectCatalogue())
        dlg_.m_effectBrowser->GoBack();
}

void EffectOps::CloseEffectPane() {
    IWebPane* pane = dlg_.m_effectBrowser;
    if (pane->IsVisible()) pane->Stop();
    pane->SetVisible(false);
    RedrawWindow();
    dlg_.PlayProgramSound(ProgramSound::Wing);
}

void EffectOps::SendEffectToAll() {
    const QString title = dlg_.m_effectBrowser->Title();
    if (title != effect_texts::ImageEffectTitle() && title != effect_texts::SoundEffectTitle()) {
        dlg_.ShowMessage(effect_texts::ChooseEffectFirst());
        return;
    }
    const QString address = dlg_.m_effectBrowser->Address();
    if (title == effect_texts::ImageEffectTitle())
        SendImageEffect(address, QString());
    else
        SendSoundEffect(address, QString());
}

void EffectOps::SendEffectToUser() {
    if (!dlg_.isOwner()) {
        dlg_.ShowMessage(effect_texts::OnlyOwnerCanSend());
        return;
    }
    IUserList* users = dlg_.m_userList;
    const int selected = users->SelectedIndex();
    if (selected < 0 || selected >= users->Count()) return;
    const QString target = users->Text(selected);
    if (!dlg_.m_effectBrowser->IsVisible()) {
        dlg_.ShowMessage(effect_texts::OpenEffectPaneFirst());
        return;
    }
    const QString title = dlg_.m_effectBrowser->Title();
    if (title != effect_texts::ImageEffectTitle() && title != effect_texts::SoundEffectTitle()) {
        dlg_.ShowMessage(effect_texts::ChooseOneEffect());
        return;
    }
    const QString address = dlg_.m_effectBrowser->Address();
    if (title == effect_texts::ImageEffectTitle())
        SendImageEffect(address, target);
    else
        SendSoundEffect(address, target);
}

void EffectOps::SendImageEffect(const QString& address, const QString& target) {
    SendEffect(code2::kImageEffect, address, target);
}

void EffectOps::SendSoundEffect(const QString& address, const QString& target) {
    SendEffect(code2::kSoundEffect, address, target);
}

void EffectOps::SendEffect(int code2, const QString& address, const QString& target) {
    CMsg msg(code1::kUserAction, code2);
    msg.text = address.toStdString();
    msg.list.push_back(dlg_.nickname().toStdString());
    if (!target.isEmpty()) {
        msg.list.push_back(target.toStdString());
        msg.number = 1;
    }
    if (!dlg_.isOwner()) {
        dlg_.ShowMessage(effect_texts::NotOwnerCannotSend());
        return;
    }
    if (dlg_.m_pChatSocket) {
        try {
            dlg_.m_pChatSocket->SendMsg(msg);
        } catch (const zorvi::StreamFailure&) {
            // Telling the owner the effect went out would be false.
            dlg_.ShowMessage(effect_texts::SendFailed());
            return;
        }
    }
    dlg_.ShowMessage(target.isEmpty() ? effect_texts::SentToAll()
                                      : effect_texts::SentToUser(target));
}

bool EffectOps::PrepareReception(const QString& address) {
    // Only web pages are loaded from what the server sends.
    if (!IsAcceptedWebAddress(address)) {
        dlg_.AppendChatLine(RefusedAddressLine(address));
        return false;
    }
    return true;
}

void EffectOps::ReceiveImageEffect(const QString& address, const QString& sender) {
    if (!PrepareReception(address)) return;
    dlg_.m_effectBrowser->SetVisible(true);
    dlg_.RunSkinCommand(effect_texts::ShowEffectWing());
    dlg_.RunSkinCommand(effect_texts::EnableCloseEffect());
    dlg_.m_effectBrowser->Navigate(address);
    dlg_.AppendChatLine(effect_texts::ReceivedImageLine(sender));
}

void EffectOps::ReceiveSoundEffect(const QString& address, const QString& sender) {
    if (!PrepareReception(address)) return;
    dlg_.RunSkinCommand(effect_texts::ShowEffectWing());
    dlg_.RunSkinCommand(effect_texts::EnableCloseEffect());
    dlg_.m_effectBrowser->Navigate(address);
    dlg_.AppendChatLine(effect_texts::ReceivedSoundLine(sender));
}

void EffectOps::CheckOpenStatus() {
    if (dlg_.m_mediaPlayer->OpenStatus() != 0) {
        dlg_.ShowMessage(effect_texts::MediaAddressError());
        dlg_.m_mediaPlayer->Stop();
    }
}

void EffectOps::LiveShowByAddress(const CMsg& msg) {
    IMediaPlayer* player = dlg_.m_mediaPlayer;
    player->Stop();
    dlg_.SetMediaAddress(QString::fromStdString(msg.text));
    if (!dlg_.mediaAddress().isEmpty()) {
        dlg_.RunSkinCommand(effect_texts::ShowMediaWing());
        dlg_.PlayProgramSound(ProgramSound::Wing);
        player->Open(dlg_.mediaAddress());
    }
    CheckOpenStatus();
}

QString EffectOps::PlaylistPath() const {
    const SettingsStore* settings = dlg_.services().settings;
    if (!settings) return QDir::current().filePath(effect_texts::PlaylistFileName());
    const QString writable = WritablePath(*settings, effect_texts::PlaylistFileName());
    // With nowhere to write, the name in the installation folder is still what the
    // player is asked to open.
    if (writable.isEmpty())
        return settings->InstallFolder() + QLatin1Char('/') + effect_texts::PlaylistFileName();
    return writable;
}

void EffectOps::LiveShowByPlaylist(const CMsg& msg) {
    IMediaPlayer* player = dlg_.m_mediaPlayer;
    player->Stop();
    dlg_.SetMediaAddress(QString::fromStdString(msg.text));
    if (dlg_.mediaAddress().isEmpty()) {
        dlg_.ShowMessage(effect_texts::MediaAddressError());
        player->Stop();
        return;
    }
    const QString path = PlaylistPath();
    const PlaylistWrite written =
        WritePlaylistFile(path, BuildLiveShowPlaylist(msg.text, msg.list));
    if (written == PlaylistWrite::WriteFailed) {
        player->Stop();
        return;
    }
    // A playlist that could not be created is still handed to the player, which then
    // reports the failure through its open status.
    player->Open(path);
    CheckOpenStatus();
}
