#pragma once

#include <QDialog>
#include <QString>

class IMessageBox;
class QLineEdit;
class QPlainTextEdit;

// "Private Message": a message of at most 250 characters to the person named beside
// "Sender:". Enter presses Send.
class CPrivateMessageDlg : public QDialog {
    Q_OBJECT

public:
    // `box` shows the limit message; it may be null.
    explicit CPrivateMessageDlg(IMessageBox* box, QWidget* parent = nullptr);

    QString m_message;
    QString m_recipient;

    // Puts m_recipient and m_message into the edits; call before the modal run.
    void LoadMembers();
    void accept() override;
    // The message edit reached its limit.
    void OnMessageFull();

private:
    void KeepWithinLimit();

    IMessageBox* box_;
    QPlainTextEdit* messageEdit_;  // 1023
    QLineEdit* recipientEdit_;     // 1024
    QString lastText_;
    bool trimming_ = false;
};
