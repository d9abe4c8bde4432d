#include "shell/first_visible_line.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

QString FirstVisibleLine(const QPlainTextEdit& display, int maxChars) {
    // A plain-text edit scrolls by lines: the scroll bar's value is the top line's number.
    const int topLine = display.verticalScrollBar()->value();
    const QTextBlock block = display.document()->findBlockByLineNumber(topLine);
    if (!block.isValid()) return {};
    QString text = block.text();
    const QTextLayout* layout = block.layout();
    const int lineInBlock = topLine - block.firstLineNumber();
    // Before the display has been laid out a paragraph is one line.
    if (layout && lineInBlock >= 0 && lineInBlock < layout->lineCount()) {
        const QTextLine line = layout->lineAt(lineInBlock);
        text = text.mid(line.textStart(), line.textLength());
    }
    return text.left(maxChars);
}
