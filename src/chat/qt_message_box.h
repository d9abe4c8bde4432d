#pragma once

#include <QPointer>
#include <QWidget>

#include "app/seams.h"

// Message boxes shown with QMessageBox: caption "Zorvi", the text always as plain text, an
// exclamation icon for notices and a question icon for questions.
class QtMessageBox : public IMessageBox {
public:
    explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}

    // The window the boxes belong to; the main window, set once it exists.
    void SetParentWidget(QWidget* parent) { parent_ = parent; }

    void Show(const QString& text) override;
    bool AskYesNo(const QString& text) override;

    // The fixed texts break lines with "\n\r" (and the chat with "\r\n"); both are one
    // line break on screen.
    static QString NormaliseLineBreaks(const QString& text);

private:
    QPointer<QWidget> parent_;
};
