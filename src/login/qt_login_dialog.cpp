#include "login/qt_login_dialog.h"

#include "app/endpoints.h"
#include "app/install_paths.h"
#include "login/login_dlg.h"

QtLoginDialog::QtLoginDialog(const Endpoints& endpoints, const QString& serverListPath,
                             IDesktop& desktop)
    : dlg_(std::make_unique<CLoginDlg>(endpoints.chatHost, serverListPath,
                                       endpoints.RegistrationPage(), desktop)) {}

QtLoginDialog::QtLoginDialog(const Endpoints& endpoints, const SettingsStore& settings,
                             IDesktop& desktop)
    : QtLoginDialog(endpoints, ServerListReadPath(settings), desktop) {}

QtLoginDialog::~QtLoginDialog() = default;

bool QtLoginDialog::Run(LoginDialogData& data) {
    dlg_->m_userName = data.userName;
    dlg_->m_password = data.password;
    dlg_->m_savePassword = data.savePassword;
    dlg_->m_server = data.server;
    if (dlg_->DoModal() != QDialog::Accepted) return false;
    data.userName = dlg_->m_userName;
    data.password = dlg_->m_password;
    data.savePassword = dlg_->m_savePassword;
    data.server = dlg_->m_server;
    return true;
}
