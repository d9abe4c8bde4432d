#include "chat/qt_message_box.h"

#include <QMessageBox>

namespace {

const QString kCaption = QStringLiteral("Zorvi");

int Run(QWidget* parent, QMessageBox::Icon icon, const QString& text,
        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, kCaption, QtMessageBox::NormaliseLineBreaks(text), buttons, parent);
    // Texts may carry names and lines from the network: never interpret them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    return box.exec();
}

}  // namespace

QString QtMessageBox::NormaliseLineBreaks(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

void QtMessageBox::Show(const QString& text) {
    Run(parent_, QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBox::AskYesNo(const QString& text) {
    return Run(parent_, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::Yes) == QMessageBox::Yes;
}
