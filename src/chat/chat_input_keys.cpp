#include "chat/chat_input_keys.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

ChatInputKeys::ChatInputKeys(QPlainTextEdit& input, NameSource names)
    : input_(input), names_(std::move(names)) {}

// Up and Down keep moving the caret within a wrapped or multi-line input; only on its first
// (last) line do they walk the history. Before the input is laid out a block is one line.
bool ChatInputKeys::OnFirstLine() const {
    const QTextCursor c = input_.textCursor();
    if (c.blockNumber() != 0) return false;
    const QTextLayout* layout = c.block().layout();
    return !layout || layout->lineCount() == 0 ||
           layout->lineForTextPosition(c.positionInBlock()).lineNumber() <= 0;
}

bool ChatInputKeys::OnLastLine() const {
    const QTextCursor c = input_.textCursor();
    if (c.block() != input_.document()->lastBlock()) return false;
    const QTextLayout* layout = c.block().layout();
    if (!layout || layout->lineCount() == 0) return true;
    const QTextLine line = layout->lineForTextPosition(c.positionInBlock());
    return !line.isValid() || line.lineNumber() == layout->lineCount() - 1;
}

void ChatInputKeys::Replace(const QString& text, int caret) {
    input_.setPlainText(text);
    QTextCursor c = input_.textCursor();
    c.setPosition(qBound(0, caret, int(text.size())));
    input_.setTextCursor(c);
}

bool ChatInputKeys::HandleKey(const QKeyEvent& key) {
    if (input_.isReadOnly()) return false;
    const Qt::KeyboardModifiers mods =
        key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (key.key() == Qt::Key_Tab && mods == Qt::NoModifier) {
        const QString text = input_.toPlainText();
        if (const auto done = completer_.Complete(text, input_.textCursor().position(), names_())) {
            Replace(done->text, done->caret);
            return true;
        }
        return false;
    }
    if (key.key() == Qt::Key_Shift || key.key() == Qt::Key_Control || key.key() == Qt::Key_Alt)
        return false;
    completer_.Reset();
    if (mods == Qt::NoModifier && key.key() == Qt::Key_Up && OnFirstLine()) {
        if (const auto older = history_.Older(input_.toPlainText())) {
            Replace(*older, int(older->size()));
            return true;
        }
        return false;
    }
    if (mods == Qt::NoModifier && key.key() == Qt::Key_Down && OnLastLine()) {
        if (const auto newer = history_.Newer(input_.toPlainText())) {
            Replace(*newer, int(newer->size()));
            return true;
        }
        return false;
    }
    // Editing a recalled line makes it the line being typed.
    if (!key.text().isEmpty() || key.key() == Qt::Key_Backspace || key.key() == Qt::Key_Delete)
        history_.StopWalking();
    return false;
}
