#include "chat/kestrivan_dlg.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTextCursor>

#include "app/blocking_wait.h"
#include "chat/channel_images.h"
#include "chat/chat_input_keys.h"
#include "chat/chat_line_writer.h"
#include "chat/display_text.h"
#include "chat/skin_commands.h"
#include "chat/stand_in_operations.h"
#include "chat/stand_in_parts.h"
#include "chat/user_list.h"

CKestrivanDlg::CKestrivanDlg(WindowServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      standInParts_(std::make_unique<StandInParts>()),
      standInRoomOps_(std::make_unique<StandInRoomOperations>()),
      standInEffectOps_(std::make_unique<StandInEffectOperations>()) {
    // A blocking socket call keeps the window painting but runs no other handler of it.
    if (!services_.sockets.waitHook && services_.blockingWait)
        services_.sockets.waitHook = services_.blockingWait->Hook();
    m_pLoginSocket = std::make_unique<zorvi::LoginSocket>(services_.sockets);
    m_pServiceSocket = std::make_unique<zorvi::ServiceSocket>(services_.sockets);
    m_pChatSocket = std::make_unique<zorvi::ChatSocket>(this, services_.sockets);
    m_pChatSocket->SetHandleObserver([this](int) { WatchChatSocket(); });

    m_loginHost = services_.endpoints.chatHost;
    m_chatHost = services_.endpoints.chatHost;
    m_hIcon = channel_images::MainIcon();
    m_hSendIcon = channel_images::SendIcon();
    m_skin = &standInParts_->skin;
    m_portalBrowser = &standInParts_->portal;
    m_effectBrowser = &standInParts_->effectPane;
    m_mediaPlayer = &standInParts_->media;
    m_userList = &standInParts_->userList;
    BuildControls();
    BuildConveniences();
}

CKestrivanDlg::~CKestrivanDlg() {
    // The notifier must not outlive the descriptor it watches.
    delete chatNotifier_;
    chatNotifier_ = nullptr;
    m_pChatSocket.reset();
}

void CKestrivanDlg::AttachParts(const WindowParts& parts) {
    if (parts.skin) m_skin = parts.skin;
    if (parts.portal) m_portalBrowser = parts.portal;
    if (parts.effectPane) m_effectBrowser = parts.effectPane;
    if (parts.media) m_mediaPlayer = parts.media;
    if (parts.userList) m_userList = parts.userList;
    m_skinWidget = parts.skinWidget;
    m_userListWidget = parts.userListWidget;
    PlacePart(parts.skinWidget, 1031, QStringLiteral("Skin"));
    PlacePart(parts.portalWidget, 1004, QStringLiteral("Portal"));
    PlacePart(parts.effectWidget, 1006, QStringLiteral("Effect pane"));
    PlacePart(parts.mediaWidget, 1039, QStringLiteral("Live show"));
    PlacePart(parts.userListWidget, 1012, QStringLiteral("People in the room"));
    // The skin paints the window's face: every other control lies on top of it.
    if (m_skinWidget) m_skinWidget->lower();
}

QWidget* CKestrivanDlg::Control(int controlId) const {
    return findChild<QWidget*>(QStringLiteral("ctl%1").arg(controlId));
}

QPushButton* CKestrivanDlg::Button(int controlId) const {
    return qobject_cast<QPushButton*>(Control(controlId));
}

RoomOperations& CKestrivanDlg::Rooms() { return m_roomOps ? *m_roomOps : *standInRoomOps_; }

EffectOperations& CKestrivanDlg::Effects() {
    return m_effectOps ? *m_effectOps : *standInEffectOps_;
}

void CKestrivanDlg::AppendChatLine(const QString& text) {
    // Always at the very end, whatever the user selected; the document's end is found in
    // constant time and no undo history grows with the conversation.
    lineWriter_->Append(*m_chatDisplay->document(), DisplayForm(text + QLatin1String("\r\n")));
    ScrollToEndLater();
}

void CKestrivanDlg::ScrollToEndLater() {
    // Scrolling once per event-loop turn, before the next repaint, looks the same as
    // scrolling after every line and spares a busy room the cost of each scroll.
    if (scrollPending_) return;
    scrollPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scrollPending_ = false;
            followEnd_ = true;
            QScrollBar* bar = m_chatDisplay->verticalScrollBar();
            bar->setValue(bar->maximum());
        },
        Qt::QueuedConnection);
}

void CKestrivanDlg::RunSkinCommand(const QString& command) { m_skin->RunSkinCommand(command); }

void CKestrivanDlg::SetSkinElementText(const QString& element, const QString& text) {
    m_skin->SetSkinElementText(element, text);
}

void CKestrivanDlg::PlayProgramSound(ProgramSound sound, bool wait) {
    if (m_soundOn && services_.sounds) services_.sounds->Play(sound, wait);
}

void CKestrivanDlg::ShowMessage(const QString& text) {
    if (services_.messageBox) services_.messageBox->Show(text);
}

bool CKestrivanDlg::AskYesNo(const QString& text) {
    return services_.messageBox && services_.messageBox->AskYesNo(text);
}

void CKestrivanDlg::SetIdentity(const QString& nickname, const QString& password) {
    m_nickname = nickname;
    m_password = password;
}

void CKestrivanDlg::SetServerHost(const QString& host) {
    m_loginHost = host;
    m_chatHost = host;
}

void CKestrivanDlg::SetSoundOn(bool on) { m_soundOn = on ? 1 : 0; }

void CKestrivanDlg::SetMediaAddress(const QString& address) { m_mediaAddress = address; }

void CKestrivanDlg::ReplaceChannels(QStringList names, QVector<int> people, QVector<int> audio) {
    m_channelNames = std::move(names);
    m_channelPeople = std::move(people);
    m_channelAudio = std::move(audio);
}

void CKestrivanDlg::SetRoomPort(int port) { m_chatPort = port; }

void CKestrivanDlg::EnterRoom(const QString& roomName) { m_roomName = roomName; }

void CKestrivanDlg::SetRoomOwner(const QString& ownerName) { m_ownerName = ownerName; }

void CKestrivanDlg::AddRoomUser(const QString& name, bool owner) {
    m_roomUsers.append(name);
    m_userList->AddColoredName(name, owner ? kOwnerColour : 0);
    m_userList->RedrawNow();
}

void CKestrivanDlg::RemoveRoomUser(const QString& name) {
    m_roomUsers.removeOne(name);
    m_userList->RemoveNameIgnoringCase(name);
}

void CKestrivanDlg::ClearRoom() {
    m_chatDisplay->clear();
    m_chatInput->clear();
    m_roomUsers.clear();
    m_userList->Clear();
}

void CKestrivanDlg::ForgetRoom() {
    // A window is owner only inside a session; should one end owning a room, its buttons
    // go with the ownership.
    if (m_isOwner) GiveUpOwnership(OwnerLoss::ByRoomChange);
    m_chatPort = -1;
}

void CKestrivanDlg::WatchChatSocket() {
    // The old notifier may be the one whose signal is being delivered right now.
    if (chatNotifier_) {
        chatNotifier_->setEnabled(false);
        chatNotifier_->deleteLater();
        chatNotifier_ = nullptr;
    }
    if (!m_pChatSocket || m_pChatSocket->Handle() < 0) return;
    chatNotifier_ = new QSocketNotifier(m_pChatSocket->Handle(), QSocketNotifier::Read, this);
    connect(chatNotifier_, &QSocketNotifier::activated, this, [this] {
        if (m_pChatSocket) m_pChatSocket->OnReceive();
    });
    // Records that came with the join's answer are already in the reader, where no
    // notification will announce them.
    ContinueReadingLater();
}

void CKestrivanDlg::keyPressEvent(QKeyEvent* event) {
    // Escape never closes the main window; closing always runs the close sequence.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CKestrivanDlg::eventFilter(QObject* watched, QEvent* event) {
    // The input line does not take the Enter key: it presses the default button, Send.
    if (watched == m_chatInput && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (inputKeys_ && inputKeys_->HandleKey(*key)) return true;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (m_sendButton->isEnabled()) OnSendButton();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CKestrivanDlg::paintEvent(QPaintEvent* event) {
    if (!isMinimized()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QSize icon(32, 32);
    const QPoint at((width() - icon.width() + 1) / 2, (height() - icon.height() + 1) / 2);
    m_hIcon.paint(&painter, QRect(at, icon));
}
