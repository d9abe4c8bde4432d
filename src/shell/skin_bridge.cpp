#include "shell/skin_bridge.h"

#include <QTimer>
#include <QTreeWidget>
#include <array>
#include <utility>

#include "app/blocking_wait.h"
#include "chat/kestrivan_dlg.h"
#include "chat/user_list.h"

namespace {

const QString kAssignBox = QStringLiteral("assign");
const QString kSelectOnePerson =
    QStringLiteral("Please select one person to send him a private message.");

const QString kShowButtonWing = QStringLiteral("goto buttonWing showButtonWing");
const QString kHideButtonWing = QStringLiteral("goto buttonWing hideButtonWing");
const std::array kOpenChannelWing = {QStringLiteral("goto channelWing showChannelWing"),
                                     QStringLiteral("goto changeButton EnableButton"),
                                     QStringLiteral("goto newButton EnableButton")};
const std::array kCloseChannelWing = {QStringLiteral("goto channelWing hideChannelWing"),
                                      QStringLiteral("goto changeButton DisableButton"),
                                      QStringLiteral("goto newButton DisableButton")};

}  // namespace

SkinBridge::SkinBridge(CKestrivanDlg& dlg, SkinTargets targets, BlockingWait* wait,
                       std::chrono::milliseconds refreshPeriod)
    : dlg_(dlg), targets_(std::move(targets)), wait_(wait), refreshPeriod_(refreshPeriod) {}

SkinBridge::~SkinBridge() = default;

void SkinBridge::Call(const std::function<void()>& target) {
    if (target) target();
}

void SkinBridge::OnSkinButton(const QString& name) {
    // One row per element, compared exactly and in this order; the first equal name decides.
    using Row = std::pair<const char*, std::function<void()>>;
    const Row rows[] = {
        {"closeEffectButton", [this] { Call(targets_.closeEffectPane); }},
        {"zorviButton", [this] { Call(targets_.openServiceHome); }},
        {"pelbrookButton", [this] { Call(targets_.openSiblingHome); }},
        {"leftButton", [this] { Minimize(); }},
        {"backEffectButton", [this] { Call(targets_.backEffect); }},
        {"sendEffectButton", [this] { Call(targets_.sendEffectToAll); }},
        {"EffectButton",
         [this] {
             // The sound comes first, before the pane appears.
             WingSound();
             Call(targets_.showEffectCatalogue);
         }},
        {"LeftWingButton", [this] { ToggleButtonWing(); }},
        {"RightWingButton", [this] { ToggleChannelWing(); }},
        {"assignButton", [this] { AssignOwner(); }},
        {"optionButton", [this] { Call(targets_.options); }},
        {"findButton", [this] { Call(targets_.find); }},
        {"helpButton", [this] { Call(targets_.help); }},
        {"newButton", [this] { Call(targets_.newRoom); }},
        {"changeButton", [this] { Call(targets_.changeRoom); }},
        {"MinimizeButton", [this] { Minimize(); }},
        {"refreshButton", [this] { Call(targets_.refreshPortal); }},
        {"sendButton", [this] { Call(targets_.send); }},
        {"privateButton", [this] { PrivateMessage(); }},
        {"playMedia", [this] { Call(targets_.play); }},
        {"pauseMedia", [this] { Call(targets_.pause); }},
        {"stopMedia", [this] { Call(targets_.stop); }},
        {"MediaButton", [this] { WingSound(); }},
        {"closeMediaButton", [this] { WingSound(); }},
    };
    for (const Row& row : rows) {
        if (name == QLatin1String(row.first)) {
            row.second();
            return;
        }
    }
}

void SkinBridge::WingSound() {
    if (dlg_.soundOn()) dlg_.PlayProgramSound(ProgramSound::Wing);
}

void SkinBridge::Minimize() {
    // A minimised window, not a hidden one: it stays in the task bar.
    dlg_.setWindowState((dlg_.windowState() & ~Qt::WindowMaximized) | Qt::WindowMinimized);
}

void SkinBridge::AssignOwner() {
    dlg_.ShowMessage(kAssignBox);
    Call(targets_.assignOwner);
}

void SkinBridge::PrivateMessage() {
    if (dlg_.m_userList->SelectedIndex() < 0) {
        dlg_.ShowMessage(kSelectOnePerson);
        return;
    }
    Call(targets_.privateMessage);
}

void SkinBridge::ToggleButtonWing() {
    if (dlg_.m_buttonWingOpen) {
        dlg_.RunSkinCommand(kHideButtonWing);
        WingSound();
        dlg_.m_buttonWingOpen = false;
    } else {
        dlg_.RunSkinCommand(kShowButtonWing);
        WingSound();
        dlg_.m_buttonWingOpen = true;
    }
}

void SkinBridge::ToggleChannelWing() {
    if (dlg_.m_channelWingOpen) {
        dlg_.m_channelList->hide();
        for (const QString& c : kCloseChannelWing) dlg_.RunSkinCommand(c);
        WingSound();
        refreshTimer_.reset();
        dlg_.m_channelWingOpen = false;
        return;
    }
    for (const QString& c : kOpenChannelWing) dlg_.RunSkinCommand(c);
    WingSound();
    dlg_.m_channelList->showNormal();
    Call(targets_.refreshChannelList);
    refreshTimer_ = std::make_unique<QTimer>();
    refreshTimer_->setInterval(refreshPeriod_);
    QObject::connect(refreshTimer_.get(), &QTimer::timeout, refreshTimer_.get(),
                     [this] { OnRefreshTimer(); });
    refreshTimer_->start();
    dlg_.m_channelWingOpen = true;
}

void SkinBridge::OnRefreshTimer() {
    // A tick that arrives while another exchange waits on its socket skips its turn: a
    // refresh in the middle would interleave two exchanges.
    if (wait_ && wait_->InsideWait()) return;
    Call(targets_.refreshChannelList);
}
