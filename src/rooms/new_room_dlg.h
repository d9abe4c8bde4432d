#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// "Create New room": asks for the name of a new room, at most 20 characters. Any name is
// accepted, the empty one too; the service decides.
class CNewRoomDlg : public QDialog {
    Q_OBJECT

public:
    explicit CNewRoomDlg(QWidget* parent = nullptr);

    QString m_newRoomName;

    void accept() override;

private:
    QLineEdit* nameEdit_;  // 1019
};
