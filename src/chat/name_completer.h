#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Tab completion of people's names in the chat input. The first Tab completes the word
// before the caret from the room's names; each further Tab replaces that completion with the
// next match, round the list. A name completed at the start of the line gets ": ", as is
// usual for addressing someone.
class NameCompleter {
public:
    struct Completion {
        QString text;
        int caret = 0;
    };

    // Nothing when there is no word to complete or no name matches: Tab then moves the focus
    // on as usual.
    std::optional<Completion> Complete(const QString& text, int caret, const QStringList& names);
    // Any other key ends the cycle: the next Tab starts from what is typed then.
    void Reset() { cycle_.reset(); }

private:
    struct Cycle {
        QString before;  // the text before the completed word
        QString after;   // the text after the caret
        QStringList matches;
        int index = 0;
        Completion last;
    };
    static Completion Build(const Cycle& cycle);
    std::optional<Cycle> cycle_;
};
