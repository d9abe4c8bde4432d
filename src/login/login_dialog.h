#pragma once

#include "login/login_dialog_data.h"

// The login loop asks for the user's values through this seam: the program shows the real
// dialog, tests answer from a script.
class ILoginDialog {
public:
    virtual ~ILoginDialog() = default;
    // Shows the dialog with `data`; true for OK, and then `data` holds what was entered.
    // On Cancel `data` is left as it was.
    virtual bool Run(LoginDialogData& data) = 0;
};
