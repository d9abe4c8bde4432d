#pragma once

#include <QString>

class IClock;
class ISaveFileDialog;
class QPlainTextEdit;
class QWidget;

// Saves the conversation as a plain text file named by the user, proposing a name made from
// the local date and time.
class Transcript {
public:
    Transcript(const QPlainTextEdit& display, QWidget* owner, IClock& clock,
               ISaveFileDialog& dialog);

    // True when saved or when the user cancelled; false when the file could not be written.
    bool SaveTranscript();

    // "2000-01-18-13h05m.txt" for 13:05 on 18 January 2000.
    static QString DefaultFileName(const IClock& clock);
    // Writes `text` whole or not at all: an old file is replaced only by a complete new
    // one. Creates the file's own folder (one level) when it is missing.
    static bool WriteText(const QString& path, const QString& text);

private:
    const QPlainTextEdit& display_;
    QWidget* owner_;
    IClock& clock_;
    ISaveFileDialog& dialog_;
};
