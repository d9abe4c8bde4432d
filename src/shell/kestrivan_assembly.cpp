#include "shell/kestrivan_assembly.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/settings_store.h"
#include "chat/find_bar.h"
#include "chat/kestrivan_dlg.h"
#include "chat/qt_message_box.h"
#include "chat/system_clock.h"
#include "effects/effect_ops.h"
#include "effects/media_player2.h"
#include "effects/qt_sound_player.h"
#include "effects/web_engine_pane.h"
#include "login/login_ops.h"
#include "login/qt_login_dialog.h"
#include "rooms/qt_room_dialogs.h"
#include "rooms/room_ops.h"
#include "rooms/user_list_box.h"
#include "shell/about_dlg.h"
#include "shell/automation_factory.h"
#include "shell/desktop_notifier.h"
#include "shell/help_window.h"
#include "shell/main_window_run.h"
#include "shell/notification_ops.h"
#include "shell/option_ops.h"
#include "shell/qt_desktop.h"
#include "shell/save_file_dialog.h"
#include "shell/shell_ops.h"
#include "shell/skin_bridge.h"
#include "shell/skin_loader.h"
#include "shell/skin_widget.h"
#include "shell/transcript.h"
#include "shell/tray_icon.h"
#include "shell/window_placement.h"
#include "shell/wing_shortcuts.h"

namespace {

// The hidden buttons of the window that the assembly binds (the others are bound by the
// subsystems that own their operations).
constexpr int kEffectButton = 1002;
constexpr int kOptionButton = 1005;
constexpr int kHelpButton = 57670;
constexpr int kZorviButton = 1028;
constexpr int kPelbrookButton = 1029;

// The skin the user chose, in the variant that suits the desktop: dark on a desktop whose
// windows are dark, unless the settings ask for one.
SkinModel LoadSkin(const SettingsStore& settings) {
    QString variant = settings.ReadSkinVariant();
    if (variant.isEmpty())
        variant =
            SkinLoader::VariantForWindowColour(QGuiApplication::palette().color(QPalette::Window));
    QString error;
    if (auto model =
            SkinLoader::FromFile(SkinLoader::BuiltInSkinPath(settings.ReadSkin()), &error, variant))
        return *model;
    qFatal("The built-in skin cannot be read: %s", qPrintable(error));
}

}  // namespace

KestrivanAssembly::KestrivanAssembly(SettingsStore& settings, const Endpoints& endpoints)
    : box_(std::make_unique<QtMessageBox>()),
      sounds_(std::make_unique<QtSoundPlayer>()),
      desktop_(std::make_unique<QtDesktop>()),
      clock_(std::make_unique<SystemClock>()) {
    WindowServices services;
    services.messageBox = box_.get();
    services.sounds = sounds_.get();
    services.desktop = desktop_.get();
    services.clock = clock_.get();
    services.settings = &settings;
    services.blockingWait = &wait_;
    services.endpoints = endpoints;
    services.sockets.waitHook = wait_.Hook();
    services.sockets.tls = endpoints.Tls();
    services.keyring = &keyring_;
    dlg_ = std::make_unique<CKestrivanDlg>(services);
    // The window is built with the box in its services; from now on the boxes belong to
    // the window and stay over it.
    box_->SetParentWidget(dlg_.get());

    BuildFace(settings);

    loginDialog_ = std::make_unique<QtLoginDialog>(endpoints, settings, *desktop_);
    login_ = std::make_unique<LoginOps>(*dlg_, *loginDialog_);
    roomDialogs_ = std::make_unique<QtRoomDialogs>(dlg_.get(), box_.get());
    effects_ = std::make_unique<EffectOps>(*dlg_);
    rooms_ = std::make_unique<RoomOps>(
        *dlg_, *roomDialogs_, [this] { return login_->JoinChatServer(); },
        [this] { effects_->SendEffectToUser(); });
    dlg_->SetEffectOperations(effects_.get());
    rooms_->Attach();

    saveDialog_ = std::make_unique<QtSaveFileDialog>();
    transcript_ =
        std::make_unique<Transcript>(*dlg_->m_chatDisplay, dlg_.get(), *clock_, *saveDialog_);
    tray_ = std::make_unique<TrayIcon>();
    ShellHooks hooks;
    hooks.leaveRoom = [this] { rooms_->LeaveRoom(); };
    hooks.removeRoom = [this] { rooms_->RemoveRoom(); };
    hooks.saveTranscript = [this] { return transcript_->SaveTranscript(); };
    hooks.showAbout = [this] {
        CAboutDlg about(dlg_.get());
        about.exec();
    };
    shell_ = std::make_unique<ShellOps>(*dlg_, *tray_, std::move(hooks));
    options_ = std::make_unique<OptionOps>(*dlg_);

    BindButtons();
    BindSkin();
    BindConveniences(settings);
}

KestrivanAssembly::~KestrivanAssembly() {
    // The operations refer to the window: they go first.
    notifications_.reset();
    bridge_.reset();
    options_.reset();
    shell_.reset();
    rooms_.reset();
    effects_.reset();
    login_.reset();
    dlg_.reset();
}

void KestrivanAssembly::BuildFace(SettingsStore& settings) {
    skin_ = new SkinWidget(LoadSkin(settings));
    portal_ = new WebEnginePane(WebEnginePane::Playback::NeedsUserGesture);
    effectPane_ = new WebEnginePane(WebEnginePane::Playback::Automatic);
    portal_->SetTrust(dlg_->services().sockets.tls);
    effectPane_->SetTrust(dlg_->services().sockets.tls);
    media_ = new CMediaPlayer2();
    users_ = new CUserListBox();

    WindowParts parts;
    parts.skin = skin_;
    parts.skinWidget = skin_;
    parts.portal = portal_;
    parts.portalWidget = portal_;
    parts.effectPane = effectPane_;
    parts.effectWidget = effectPane_;
    parts.media = media_;
    parts.mediaWidget = media_;
    parts.userList = users_;
    parts.userListWidget = users_;
    dlg_->AttachParts(parts);

    // The skin is the whole face and grows with the window; the controls sit in its slots
    // and wings. Its size is the window's smallest.
    auto* face = new QVBoxLayout(dlg_.get());
    face->setContentsMargins(0, 0, 0, 0);
    face->addWidget(skin_);
    dlg_->setMinimumSize(skin_->sizeHint());
    dlg_->resize(skin_->sizeHint());
    placement_ = new WindowPlacementKeeper(*dlg_, settings);
    skin_->PlaceInSlot(dlg_->m_chatDisplay, QStringLiteral("chatDisplay"));
    skin_->PlaceInSlot(dlg_->m_chatInput, QStringLiteral("chatInput"));
    skin_->PlaceInSlot(dlg_->m_roomTitleEdit, QStringLiteral("roomTitle"));
    skin_->PlaceInSlot(portal_, QStringLiteral("portal"));
    skin_->PlaceInSlot(users_, QStringLiteral("userList"));
    skin_->PlaceInSlot(dlg_->m_channelList, QStringLiteral("channelList"));
    skin_->PlaceInSlot(effectPane_, QStringLiteral("effectPane"));
    skin_->PlaceInSlot(media_, QStringLiteral("mediaPlayer"));
}

void KestrivanAssembly::BindButtons() {
    CKestrivanDlg* w = dlg_.get();
    auto bind = [w](int id, auto handler) {
        if (QPushButton* b = w->Button(id)) QObject::connect(b, &QPushButton::clicked, w, handler);
    };
    bind(kEffectButton, [this] { effects_->ShowEffectCatalogue(); });
    bind(kOptionButton, [this] { options_->OnOptions(); });
    bind(kHelpButton, [this] { options_->ShowHelpTopic(); });
    bind(kZorviButton, [this] { options_->OpenServiceHomePage(); });
    bind(kPelbrookButton, [this] { options_->OpenSiblingHomePage(); });
    // OK and Cancel end the window only when automation does not hold it.
    QObject::connect(w, &CKestrivanDlg::closeRequested, w, [this] {
        if (shell_->ExitAllowed()) dlg_->done(QDialog::Rejected);
    });
}

void KestrivanAssembly::BindSkin() {
    SkinTargets t;
    t.closeEffectPane = [this] { effects_->CloseEffectPane(); };
    t.openServiceHome = [this] { options_->OpenServiceHomePage(); };
    t.openSiblingHome = [this] { options_->OpenSiblingHomePage(); };
    t.backEffect = [this] { effects_->BackInCatalogue(); };
    t.sendEffectToAll = [this] { effects_->SendEffectToAll(); };
    t.showEffectCatalogue = [this] { effects_->ShowEffectCatalogue(); };
    t.assignOwner = [this] { dlg_->OnAssignOwner(); };
    t.options = [this] { options_->OnOptions(); };
    t.find = [this] { rooms_->OnFind(); };
    t.help = [this] { options_->ShowHelpTopic(); };
    t.newRoom = [this] { rooms_->OnNewRoom(); };
    t.changeRoom = [this] { rooms_->ChangeRoom(); };
    t.refreshPortal = [this] { portal_->Reload(); };
    t.send = [this] { dlg_->OnSendButton(); };
    t.privateMessage = [this] { rooms_->OnMessageCommand(); };
    t.play = [this] { media_->Play(); };
    t.pause = [this] { media_->Pause(); };
    t.stop = [this] { media_->Stop(); };
    t.refreshChannelList = [this] { rooms_->RefreshChannelList(); };
    bridge_ = std::make_unique<SkinBridge>(*dlg_, std::move(t), &wait_);
    QObject::connect(skin_, &SkinWidget::buttonPressed, dlg_.get(),
                     [this](const QString& name) { bridge_->OnSkinButton(name); });
}

void KestrivanAssembly::BindConveniences(SettingsStore& settings) {
    dlg_->SetTimestamps(settings.ReadTimestamps());
    notifier_ = std::make_unique<DesktopNotifier>();
    notifications_ = std::make_unique<NotificationOps>(*dlg_, *notifier_, *tray_);
    // A skin that has a "findBar" slot says where the find bar goes.
    dlg_->findBar()->SetSkinPlacement([this]() -> QRect {
        QWidget* host = skin_->SlotHost(QStringLiteral("findBar"));
        if (!host) return {};
        const QRect slot = skin_->SlotGeometry(QStringLiteral("findBar"));
        return slot.translated(host->mapTo(dlg_.get(), QPoint(0, 0)));
    });
    WingShortcuts::Install(*dlg_, [this](const QString& element) {
        // As a click would: a disabled or hidden button does nothing.
        auto* button = skin_->findChild<QAbstractButton*>(element);
        if (button && button->isEnabled() && button->isVisibleTo(dlg_.get())) button->click();
    });
}

bool KestrivanAssembly::LoginSequence() { return login_->LoginSequence(); }

void KestrivanAssembly::PrepareToShow() {
    // The names of the channel list's columns stay readable however narrow the list: the
    // name column takes what the other two leave.
    QHeaderView* header = dlg_->m_channelList->header();
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    placement_->Restore();
}

void KestrivanAssembly::ShowWindow() {
    dlg_->SetUp();
    PrepareToShow();
    dlg_->show();
}

void KestrivanAssembly::Run() {
    dlg_->SetUp();
    PrepareToShow();
    RunMainWindow(*dlg_);
}

void KestrivanAssembly::AttachAutomation(AutomationFactory& factory) {
    factory.AttachWindow(dlg_.get());
    QObject::connect(&factory, &AutomationFactory::released, dlg_.get(),
                     [this] { shell_->OnAutomationReleased(); });
}
