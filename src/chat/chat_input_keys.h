#pragma once

#include <QStringList>
#include <functional>

#include "chat/input_history.h"
#include "chat/name_completer.h"

class QKeyEvent;
class QPlainTextEdit;

// The chat input's everyday keys: Up and Down walk the lines sent in this session, Tab
// completes a name of the room. Tab with nothing to complete is left alone, so it moves
// the focus on as before and keyboard users are never trapped in the input.
class ChatInputKeys {
public:
    using NameSource = std::function<QStringList()>;

    ChatInputKeys(QPlainTextEdit& input, NameSource names);

    // True when the key was used here and must not reach the input.
    bool HandleKey(const QKeyEvent& key);
    // A line was sent from the input.
    void Remember(const QString& line) { history_.Add(line); }

private:
    bool OnFirstLine() const;
    bool OnLastLine() const;
    void Replace(const QString& text, int caret);

    QPlainTextEdit& input_;
    NameSource names_;
    InputHistory history_;
    NameCompleter completer_;
};
