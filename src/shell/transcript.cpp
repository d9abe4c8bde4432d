#include "shell/transcript.h"

#include <QDir>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextDocument>

#include "app/seams.h"
#include "chat/chat_line_writer.h"
#include "shell/save_file_dialog.h"
#include "shell/shell_texts.h"

Transcript::Transcript(const QPlainTextEdit& display, QWidget* owner, IClock& clock,
                       ISaveFileDialog& dialog)
    : display_(display), owner_(owner), clock_(clock), dialog_(dialog) {}

QString Transcript::DefaultFileName(const IClock& clock) {
    return clock.Now().toString(shell_texts::SaveNamePattern()) + QStringLiteral(".txt");
}

bool Transcript::SaveTranscript() {
    const SaveFileRequest request{shell_texts::SaveDialogTitle(), DefaultFileName(clock_),
                                  QStringLiteral("txt"), shell_texts::SaveDialogFilter()};
    const std::optional<QString> path = dialog_.AskSaveFileName(owner_, request);
    if (!path) return true;
    // The lines as they arrived: arrival times shown on screen are not part of them.
    QString text = ChatLineWriter::TextWithoutTimes(*display_.document());
    // One line of the display is one line of the file, ended the Linux way.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return WriteText(*path, text);
}

bool Transcript::WriteText(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkdir(folder)) return false;
        file.setFileName(path);
        if (!file.open(QIODevice::WriteOnly)) return false;
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
