#include "shell/about_dlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Kestrivan"));
    setObjectName(QStringLiteral("aboutDlg"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/res/icons/kestrivan.svg")).pixmap(48, 48));
    auto* text = new QLabel(
        QStringLiteral("Kestrivan Version 1.1b\nA chat client for the Zorvi service."), this);
    text->setTextFormat(Qt::PlainText);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignHCenter);
    layout->addWidget(text);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAboutDlg::accept);
}
