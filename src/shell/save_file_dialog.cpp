#include "shell/save_file_dialog.h"

#include <QFileDialog>

std::optional<QString> QtSaveFileDialog::AskSaveFileName(QWidget* owner,
                                                         const SaveFileRequest& request) {
    QFileDialog dialog(owner, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.filter.split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.selectFile(request.initialName);
    // Overwriting is confirmed by the dialog (its default); the read-only box does not exist.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}
