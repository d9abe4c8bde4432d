#pragma once

#include <QDialog>
#include <QString>

class QPlainTextEdit;

// The small modeless window (template 163) that shows one line of progress while an
// exchange blocks: "Processing Login....", "Updating Channel List....". It is not seen
// until Show() is called.
class CProgressDlg : public QDialog {
    Q_OBJECT

public:
    explicit CProgressDlg(QString text, QWidget* parent = nullptr);

    // Shows the window and paints what it can at once; the blocking exchange that
    // follows lets only repaints through, and those finish the job.
    void Show();
    // Hides and ends the window (the caller deletes it).
    void End();

    QString m_text;
    QPlainTextEdit* textEdit() const { return edit_; }

private:
    QPlainTextEdit* edit_ = nullptr;
};
