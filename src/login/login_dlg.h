#pragma once

#include <QDialog>
#include <QString>

class IDesktop;
class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;

// The login dialog (template 134): user name, password, "Save password", and the server,
// which sits in the lower part shown by More/Less. It talks to no server; it collects the
// values and opens the registration page. One object serves the whole login loop and
// keeps what was typed between showings.
class CLoginDlg : public QDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_OK = 1,
        IDC_CANCEL = 2,
        IDC_PASSWORD = 1009,
        IDC_USERNAME = 1010,
        IDC_SAVE_PASSWORD = 1033,
        IDC_REGISTER = 1037,
        IDC_SERVER = 1044,
        IDC_MORE_LESS = 1046,
        IDC_COLLAPSED_MARKER = 1048,
        IDC_EXPANDED_MARKER = 1049,
    };

    // `defaultChatHost` fills the server box when there is no server list file.
    CLoginDlg(QString defaultChatHost, QString serverListPath, QString registrationPage,
              IDesktop& desktop, QWidget* parent = nullptr);

    // Initialises the controls (as each showing does) and runs the dialog modally.
    int DoModal();
    // Initialisation of one showing: members into the controls, collapsed, server box
    // refilled with its first entry selected.
    void OnInitDialog();

    // Dialog data: written into the controls when the dialog opens, read back on OK.
    QString m_password;
    QString m_userName;
    bool m_savePassword = false;
    QString m_server;

    QLineEdit* userNameEdit() const { return userName_; }
    QLineEdit* passwordEdit() const { return password_; }
    QCheckBox* savePasswordCheck() const { return savePassword_; }
    QComboBox* serverCombo() const { return server_; }
    QPushButton* moreLessButton() const { return moreLess_; }
    QPushButton* registrationButton() const { return register_; }

public slots:
    void accept() override;

private:
    void BuildControls();
    void FillServerList();
    void AddServerSorted(const QString& host);
    void OnMoreLess();
    void OnRegister();

    QString defaultChatHost_;
    QString serverListPath_;
    QString registrationPage_;
    IDesktop& desktop_;

    QLineEdit* userName_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* savePassword_ = nullptr;
    QPushButton* register_ = nullptr;
    QPushButton* moreLess_ = nullptr;
    QComboBox* server_ = nullptr;
};
