#pragma once

#include <QPointer>

#include "app/seams.h"

class HelpWindow;
class QWidget;

// The user's desktop: web pages open in the user's browser, help in our own help window.
class QtDesktop : public IDesktop {
public:
    QtDesktop() = default;
    ~QtDesktop() override;
    QtDesktop(const QtDesktop&) = delete;
    QtDesktop& operator=(const QtDesktop&) = delete;

    void OpenUrl(const QString& address) override;
    void ShowHelp(const QString& helpPath) override;

    HelpWindow* helpWindow() const { return help_; }

private:
    QPointer<HelpWindow> help_;
};
