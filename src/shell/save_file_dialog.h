#pragma once

#include <QString>
#include <optional>

class QWidget;

// What the save-file dialog is asked to show.
struct SaveFileRequest {
    QString title;
    QString initialName;
    QString defaultSuffix;
    QString filter;  // entries separated by ";;"
};

// The save-file dialog, a seam so that tests answer for the user.
class ISaveFileDialog {
public:
    virtual ~ISaveFileDialog() = default;
    // The chosen full path, or nothing when the user cancelled. The dialog has already asked
    // before overwriting an existing file.
    virtual std::optional<QString> AskSaveFileName(QWidget* owner,
                                                   const SaveFileRequest& request) = 0;
};

// QFileDialog in save mode, owned by the given window, asking before overwriting.
class QtSaveFileDialog : public ISaveFileDialog {
public:
    std::optional<QString> AskSaveFileName(QWidget* owner, const SaveFileRequest& request) override;
};
