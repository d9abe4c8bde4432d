#include "login/login_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/seams.h"
#include "login/login_texts.h"
#include "login/more_less.h"
#include "login/server_list.h"
#include "ui/dialog_controls.h"
#include "ui/dialog_units.h"

namespace {

constexpr int kTemplateWidth = 230;
constexpr int kTemplateHeight = 125;

template <typename W>
W* Make(QWidget* parent, const DialogUnits& du, const char* objectName,
        const QString& accessibleName, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setObjectName(QLatin1String(objectName));
    widget->setAccessibleName(accessibleName);
    du.Place(widget, x, y, w, h);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const DialogUnits& du, const char* objectName, const char* text,
                  int x, int y, int w, int h) {
    auto* label = Make<QLabel>(parent, du, objectName, QString::fromUtf8(text), x, y, w, h);
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromUtf8(text));
    return label;
}

}  // namespace

CLoginDlg::CLoginDlg(QString defaultChatHost, QString serverListPath, QString registrationPage,
                     IDesktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      defaultChatHost_(std::move(defaultChatHost)),
      serverListPath_(std::move(serverListPath)),
      registrationPage_(std::move(registrationPage)),
      desktop_(desktop) {
    setObjectName(QStringLiteral("loginDialog"));
    setWindowTitle(QString::fromUtf8(login_texts::kLoginCaption));
    setAccessibleName(windowTitle());
    setFont(DialogUnits::TemplateFont(7));
    BuildControls();
}

void CLoginDlg::BuildControls() {
    using dialog_controls::SetControlId;
    const DialogUnits du(font());
    setFixedSize(du.X(kTemplateWidth), du.Y(kTemplateHeight));

    // Created in template order, which is also the tab order.
    userName_ =
        Make<QLineEdit>(this, du, "userNameEdit", QStringLiteral("User name"), 59, 7, 63, 12);
    SetControlId(userName_, IDC_USERNAME);

    password_ =
        Make<QLineEdit>(this, du, "passwordEdit", QStringLiteral("Password"), 58, 29, 63, 12);
    password_->setEchoMode(QLineEdit::Password);
    SetControlId(password_, IDC_PASSWORD);

    auto* ok = Make<QPushButton>(this, du, "okButton", QString::fromUtf8(login_texts::kOk), 128, 7,
                                 34, 14);
    ok->setText(QString::fromUtf8(login_texts::kOk));
    ok->setDefault(true);
    SetControlId(ok, IDC_OK);
    connect(ok, &QPushButton::clicked, this, &CLoginDlg::accept);

    auto* cancel = Make<QPushButton>(this, du, "cancelButton",
                                     QString::fromUtf8(login_texts::kCancel), 128, 29, 34, 14);
    cancel->setText(QString::fromUtf8(login_texts::kCancel));
    SetControlId(cancel, IDC_CANCEL);
    connect(cancel, &QPushButton::clicked, this, &CLoginDlg::reject);

    auto* userLabel =
        MakeLabel(this, du, "userNameLabel", login_texts::kUsernameLabel, 7, 7, 33, 9);
    userLabel->setBuddy(userName_);
    auto* passwordLabel =
        MakeLabel(this, du, "passwordLabel", login_texts::kPasswordLabel, 7, 29, 33, 9);
    passwordLabel->setBuddy(password_);

    auto* icon = Make<QLabel>(this, du, "iconLabel", QStringLiteral("Zorvi icon"), 179, 7, 20, 20);
    const QSize iconSize = du.Rect(179, 7, 20, 20).size();
    icon->setPixmap(QIcon(QString::fromUtf8(login_texts::kSmallIcon)).pixmap(iconSize));

    MakeLabel(this, du, "productLabel", login_texts::kProductLabel, 179, 29, 31, 9);
    MakeLabel(this, du, "versionLabel", login_texts::kVersionLabel, 166, 40, 57, 9);

    savePassword_ = Make<QCheckBox>(this, du, "savePasswordCheck",
                                    QString::fromUtf8(login_texts::kSavePassword), 7, 47, 67, 9);
    savePassword_->setText(QString::fromUtf8(login_texts::kSavePassword));
    SetControlId(savePassword_, IDC_SAVE_PASSWORD);

    register_ = Make<QPushButton>(this, du, "registrationButton",
                                  QString::fromUtf8(login_texts::kRegistration), 7, 60, 216, 14);
    register_->setText(QString::fromUtf8(login_texts::kRegistration));
    register_->setAutoDefault(false);
    SetControlId(register_, IDC_REGISTER);
    connect(register_, &QPushButton::clicked, this, &CLoginDlg::OnRegister);

    moreLess_ = Make<QPushButton>(this, du, "moreLessButton", QStringLiteral("More or less"), 172,
                                  76, 51, 13);
    moreLess_->setText(QString::fromUtf8(login_texts::kMoreLessTemplate));
    moreLess_->setAutoDefault(false);
    SetControlId(moreLess_, IDC_MORE_LESS);
    connect(moreLess_, &QPushButton::clicked, this, &CLoginDlg::OnMoreLess);

    auto* collapsedMarker = Make<QFrame>(this, du, "collapsedMarker",
                                         QStringLiteral("Collapsed marker"), 5, 92, 216, 1);
    collapsedMarker->setFrameShape(QFrame::HLine);
    collapsedMarker->setVisible(false);
    SetControlId(collapsedMarker, IDC_COLLAPSED_MARKER);

    auto* serverLabel =
        MakeLabel(this, du, "serverLabel", login_texts::kServerLabel, 7, 102, 29, 11);

    server_ = Make<QComboBox>(this, du, "serverCombo", QStringLiteral("Server"), 44, 99, 179, 33);
    server_->setEditable(true);
    // The template's 33 units include the drop-down list; the field is one line high.
    server_->setFixedHeight(std::max(server_->sizeHint().height(), du.Y(12)));
    server_->setInsertPolicy(QComboBox::NoInsert);
    server_->setDuplicatesEnabled(true);
    SetControlId(server_, IDC_SERVER);
    serverLabel->setBuddy(server_);

    auto* expandedMarker =
        Make<QFrame>(this, du, "expandedMarker", QStringLiteral("Expanded marker"), 4, 117, 216, 1);
    expandedMarker->setFrameShape(QFrame::HLine);
    expandedMarker->setVisible(false);
    SetControlId(expandedMarker, IDC_EXPANDED_MARKER);
}

int CLoginDlg::DoModal() {
    OnInitDialog();
    return exec();
}

void CLoginDlg::OnInitDialog() {
    userName_->setText(m_userName);
    password_->setText(m_password);
    savePassword_->setChecked(m_savePassword);
    server_->setEditText(m_server);
    m_server = defaultChatHost_;
    raise();
    // Each showing starts from the template's caption, so the toggle always collapses.
    moreLess_->setText(QString::fromUtf8(login_texts::kMoreLessTemplate));
    ToggleMoreLess(*this, IDC_COLLAPSED_MARKER, IDC_EXPANDED_MARKER, IDC_MORE_LESS,
                   QString::fromUtf8(login_texts::kMoreLessCaptions));
    FillServerList();
}

void CLoginDlg::FillServerList() {
    server_->clear();
    if (const auto lines = ReadServerList(serverListPath_)) {
        for (const QString& line : *lines) AddServerSorted(line);
    } else {
        AddServerSorted(defaultChatHost_);
    }
    if (server_->count() > 0) server_->setCurrentIndex(0);
}

void CLoginDlg::AddServerSorted(const QString& host) {
    // The list sorts without regard to case; equal entries keep their file order.
    int i = 0;
    while (i < server_->count() && server_->itemText(i).compare(host, Qt::CaseInsensitive) <= 0)
        ++i;
    server_->insertItem(i, host);
}

void CLoginDlg::accept() {
    m_userName = userName_->text();
    m_password = password_->text();
    m_savePassword = savePassword_->isChecked();
    m_server = server_->currentText();
    QDialog::accept();
}

void CLoginDlg::OnMoreLess() {
    ToggleMoreLess(*this, IDC_COLLAPSED_MARKER, IDC_EXPANDED_MARKER, IDC_MORE_LESS,
                   QString::fromUtf8(login_texts::kMoreLessCaptions));
}

void CLoginDlg::OnRegister() { desktop_.OpenUrl(registrationPage_); }
