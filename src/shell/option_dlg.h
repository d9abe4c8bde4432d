#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QPushButton;

// The option dialog: program sounds on or off and whether the password is remembered. Opens
// with its top-left corner at (m_left, m_top), keeping its size.
class COptionDlg : public QDialog {
    Q_OBJECT

public:
    enum { IDD = 151, IDC_SOUND = 1029, IDC_SAVE_PASSWORD = 1030, IDC_PASSWORD_PAGE = 1036 };

    explicit COptionDlg(QWidget* parent = nullptr);

    // Dialog data: copied into the controls when the dialog opens, out of them on OK.
    bool m_sound = false;
    bool m_savePassword = false;
    int m_left = 250;
    int m_top = 250;
    // The skin: one of m_skins, shown below the template's controls.
    QStringList m_skins;
    QString m_skin;

    QCheckBox* soundBox() const { return soundBox_; }
    QComboBox* skinBox() const { return skinBox_; }
    QCheckBox* savePasswordBox() const { return savePasswordBox_; }

    // This client's own options, below the template's controls.
    bool m_timestamps = false;
    QCheckBox* timestampsBox() const { return timestampsBox_; }

signals:
    // Button 1036: the page where a user changes or looks up a password.
    void passwordPageRequested();

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QCheckBox* soundBox_;
    QCheckBox* savePasswordBox_;
    QPushButton* passwordPageButton_;

    QCheckBox* AddTimestampsBox();
    QCheckBox* timestampsBox_ = nullptr;
    QComboBox* skinBox_;
};
