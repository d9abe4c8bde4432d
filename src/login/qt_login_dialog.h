#pragma once

#include <QString>
#include <memory>

#include "login/login_dialog.h"

class CLoginDlg;
class IDesktop;
struct Endpoints;

// The real login dialog behind the seam: one CLoginDlg for the whole login loop.
class QtLoginDialog : public ILoginDialog {
public:
    QtLoginDialog(const Endpoints& endpoints, const QString& serverListPath, IDesktop& desktop);
    ~QtLoginDialog() override;

    bool Run(LoginDialogData& data) override;
    CLoginDlg& dialog() { return *dlg_; }

private:
    std::unique_ptr<CLoginDlg> dlg_;
};
