#pragma once

#include <QString>

// What the login dialog collects. The login loop keeps one of these across showings, so a
// refused attempt shows the dialog again with what the user typed.
struct LoginDialogData {
    QString userName;
    QString password;
    bool savePassword = false;
    QString server;
};
