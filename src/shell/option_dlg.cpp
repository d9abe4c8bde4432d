#include "shell/option_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/shell_texts.h"

namespace {
QString ControlName(int id) { return QStringLiteral("ctl%1").arg(id); }
}  // namespace

COptionDlg::COptionDlg(QWidget* parent)
    : QDialog(parent),
      soundBox_(new QCheckBox(shell_texts::OptionSound(), this)),
      savePasswordBox_(new QCheckBox(shell_texts::OptionSavePassword(), this)),
      passwordPageButton_(new QPushButton(shell_texts::OptionPasswordPage(), this)),
      skinBox_(new QComboBox(this)) {
    setWindowTitle(shell_texts::OptionTitle());
    setObjectName(QStringLiteral("dlg%1").arg(IDD));
    setModal(true);
    soundBox_->setObjectName(ControlName(IDC_SOUND));
    savePasswordBox_->setObjectName(ControlName(IDC_SAVE_PASSWORD));
    passwordPageButton_->setObjectName(ControlName(IDC_PASSWORD_PAGE));
    passwordPageButton_->setAutoDefault(false);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(ControlName(1));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(ControlName(2));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(soundBox_);
    layout->addWidget(savePasswordBox_);
    layout->addWidget(passwordPageButton_);
    layout->addWidget(AddTimestampsBox());
    // The window's face is built once, so a new skin shows from the next start.
    auto* skinLabel = new QLabel(QStringLiteral("&Skin (from the next start):"), this);
    skinLabel->setBuddy(skinBox_);
    skinBox_->setObjectName(QStringLiteral("skinChoice"));
    skinBox_->setAccessibleName(QStringLiteral("Skin"));
    layout->addWidget(skinLabel);
    layout->addWidget(skinBox_);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &COptionDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionDlg::reject);
    connect(passwordPageButton_, &QPushButton::clicked, this, &COptionDlg::passwordPageRequested);
}

void COptionDlg::showEvent(QShowEvent* event) {
    soundBox_->setChecked(m_sound);
    savePasswordBox_->setChecked(m_savePassword);
    timestampsBox_->setChecked(m_timestamps);
    skinBox_->clear();
    skinBox_->addItems(m_skins);
    skinBox_->setCurrentIndex(qMax(0, int(m_skins.indexOf(m_skin))));
    move(m_left, m_top);
    QDialog::showEvent(event);
}

void COptionDlg::accept() {
    m_sound = soundBox_->isChecked();
    m_savePassword = savePasswordBox_->isChecked();
    m_timestamps = timestampsBox_->isChecked();
    if (skinBox_->currentIndex() >= 0) m_skin = skinBox_->currentText();
    QDialog::accept();
}

QCheckBox* COptionDlg::AddTimestampsBox() {
    timestampsBox_ = new QCheckBox(QStringLiteral("Show the &time of each line"), this);
    timestampsBox_->setObjectName(QStringLiteral("timestampsBox"));
    timestampsBox_->setAccessibleName(QStringLiteral("Show the time of each line"));
    return timestampsBox_;
}
