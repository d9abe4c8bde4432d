#include "shell/option_ops.h"

#include <QCheckBox>
#include <QDir>

#include "app/saved_password.h"
#include "app/settings_store.h"
#include "chat/kestrivan_dlg.h"
#include "shell/option_dlg.h"
#include "shell/shell_texts.h"
#include "shell/skin_loader.h"

namespace {
// The dialog opens this far above the main window's bottom edge.
constexpr int kOptionOffsetFromBottom = 220;
}  // namespace

OptionOps::OptionOps(CKestrivanDlg& dlg, DialogRunner runner)
    : dlg_(dlg), runner_(std::move(runner)) {
    if (!runner_) runner_ = [](COptionDlg& options) { return options.exec(); };
}

void OptionOps::OnOptions() {
    COptionDlg options(&dlg_);
    options.m_sound = dlg_.soundOn();
    options.m_savePassword = false;
    SettingsStore* settings = dlg_.services().settings;
    if (settings) {
        if (const auto psave = settings->ReadNumber(QStringLiteral("psave")))
            options.m_savePassword = *psave != 0;
        options.m_skin = settings->ReadSkin();
    }
    options.m_timestamps = dlg_.Timestamps();
    options.m_skins = SkinLoader::BuiltInSkins();
    if (!options.m_skins.contains(options.m_skin)) options.m_skin = options.m_skins.first();
    const QRect frame = dlg_.frameGeometry();
    options.m_left = (frame.left() + frame.left() + frame.width()) / 2;
    options.m_top = frame.top() + frame.height() - kOptionOffsetFromBottom;
    QObject::connect(&options, &COptionDlg::passwordPageRequested, &options,
                     [this] { OpenPasswordPage(); });

    if (runner_(options) != QDialog::Accepted) return;
    dlg_.SetSoundOn(options.m_sound);
    dlg_.SetTimestamps(options.m_timestamps);
    if (!settings) return;
    // All four are written on every OK, the name and password also when the password is
    // not to be remembered.
    settings->WriteNumber(QStringLiteral("sound"), dlg_.soundOn() ? 1 : 0);
    settings->WriteNumber(QStringLiteral("psave"), options.m_savePassword ? 1 : 0);
    settings->WriteString(QStringLiteral("username"), dlg_.nickname());
    SavedPassword(*settings, dlg_.services().keyring).Save(dlg_.nickname(), dlg_.password());
    settings->WriteTimestamps(options.m_timestamps);
    settings->WriteSkin(options.m_skin);
}

void OptionOps::OpenServiceHomePage() {
    if (IDesktop* desktop = dlg_.services().desktop)
        desktop->OpenUrl(dlg_.endpoints().ServiceHomePage());
}

void OptionOps::OpenSiblingHomePage() {
    if (IDesktop* desktop = dlg_.services().desktop)
        desktop->OpenUrl(dlg_.endpoints().SiblingHomePage());
}

void OptionOps::OpenPasswordPage() {
    if (IDesktop* desktop = dlg_.services().desktop)
        desktop->OpenUrl(dlg_.endpoints().PasswordPage());
}

QString OptionOps::HelpTopicPath() const {
    SettingsStore* settings = dlg_.services().settings;
    const QString folder = settings ? settings->InstallFolder() : QDir::currentPath();
    return folder + shell_texts::HelpTopicSuffix();
}

void OptionOps::ShowHelpTopic() {
    if (IDesktop* desktop = dlg_.services().desktop) desktop->ShowHelp(HelpTopicPath());
}
