#pragma once

#include <QString>
#include <functional>

class CKestrivanDlg;
class COptionDlg;

// The small services of the main window: the option dialog, the help topic and the
// service's web pages in the user's own browser.
class OptionOps {
public:
    // Runs the option dialog modally and answers its result; tests answer for the user.
    using DialogRunner = std::function<int(COptionDlg&)>;

    explicit OptionOps(CKestrivanDlg& dlg, DialogRunner runner = {});

    void OnOptions();
    void OpenServiceHomePage();
    void OpenSiblingHomePage();
    void OpenPasswordPage();
    void ShowHelpTopic();

    // "<install folder>/zorvi.chm::/ZorviOverview.htm"; the working folder when "Path" is unset.
    QString HelpTopicPath() const;

private:
    CKestrivanDlg& dlg_;
    DialogRunner runner_;
};
