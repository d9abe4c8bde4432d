#pragma once

#include <QString>
#include <memory>

#include "login/login_dialog.h"

class CLoginDlg;
class IDesktop;
class SettingsStore;
struct Endpoints;

// The real login dialog behind the seam: one CLoginDlg for the whole login loop.
class QtLoginDialog : public ILoginDialog {
public:
    // Reads the server list from where the installation keeps it.
    QtLoginDialog(const Endpoints& endpoints, const SettingsStore& settings, IDesktop& desktop);
    QtLoginDialog(const Endpoints& endpoints, const QString& serverListPath, IDesktop& desktop);
    ~QtLoginDialog() override;

    bool Run(LoginDialogData& data) override;
    CLoginDlg& dialog() { return *dlg_; }

private:
    std::unique_ptr<CLoginDlg> dlg_;
};
