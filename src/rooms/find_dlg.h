#pragma once

#include <QDialog>

class PeopleSearch;
class QLineEdit;
class QPlainTextEdit;

// "Find people": which room somebody is in, and a message delivered along with the
// look-up. Keeps nothing between presses of Find.
class CFindDlg : public QDialog {
    Q_OBJECT

public:
    explicit CFindDlg(QWidget* parent = nullptr);

    // The owner that does the look-ups; set by the opener before the dialog is shown.
    void SetSearch(PeopleSearch* search) { search_ = search; }

    // Button 1052 (and Enter).
    void OnFind();

private:
    PeopleSearch* search_ = nullptr;
    QLineEdit* nicknameEdit_;      // 1051
    QPlainTextEdit* resultEdit_;   // 1054
    QPlainTextEdit* messageEdit_;  // 1023
};
