#pragma once

#include <deque>
#include <functional>
#include <vector>

#include "login/login_dialog.h"

// Answers the login loop from a script. Each showing records the values the dialog was
// shown with, then runs the next scripted answer: it may edit the values and returns OK
// (true) or Cancel (false). With the script used up it cancels.
class FakeLoginDialog : public ILoginDialog {
public:
    using Answer = std::function<bool(LoginDialogData&)>;

    bool Run(LoginDialogData& data) override {
        shownWith.push_back(data);
        if (answers.empty()) return false;
        Answer next = std::move(answers.front());
        answers.pop_front();
        return next(data);
    }

    // OK with these values typed in.
    void Type(QString user, QString password, bool save, QString server) {
        answers.push_back([=](LoginDialogData& d) {
            d.userName = user;
            d.password = password;
            d.savePassword = save;
            d.server = server;
            return true;
        });
    }
    // OK with whatever the dialog holds.
    void PressOk() {
        answers.push_back([](LoginDialogData&) { return true; });
    }

    std::deque<Answer> answers;
    std::vector<LoginDialogData> shownWith;
};
