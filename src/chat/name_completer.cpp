#include "chat/name_completer.h"

#include "chat/chat_texts.h"

NameCompleter::Completion NameCompleter::Build(const Cycle& cycle) {
    QString inserted = cycle.matches.at(cycle.index);
    const bool spaceFollows = cycle.after.startsWith(QLatin1Char(' '));
    if (cycle.before.isEmpty())
        inserted += spaceFollows ? QString(chat_texts::kSpeakerSeparator.left(1))
                                 : QString(chat_texts::kSpeakerSeparator);
    else if (!spaceFollows)
        inserted += QLatin1Char(' ');
    const QString head = cycle.before + inserted;
    return {head + cycle.after, int(head.size())};
}

std::optional<NameCompleter::Completion> NameCompleter::Complete(const QString& text, int caret,
                                                                 const QStringList& names) {
    // A second Tab right after a completion that nothing has changed goes on to the next name.
    if (cycle_ && text == cycle_->last.text && caret == cycle_->last.caret) {
        cycle_->index = (cycle_->index + 1) % int(cycle_->matches.size());
        cycle_->last = Build(*cycle_);
        return cycle_->last;
    }
    cycle_.reset();
    caret = qBound(0, caret, int(text.size()));
    int start = caret;
    while (start > 0 && !text.at(start - 1).isSpace()) --start;
    const QString prefix = text.mid(start, caret - start);
    if (prefix.isEmpty()) return std::nullopt;

    QStringList matches;
    for (const QString& name : names)
        if (name.startsWith(prefix, Qt::CaseInsensitive) && !matches.contains(name))
            matches << name;
    if (matches.isEmpty()) return std::nullopt;
    matches.sort(Qt::CaseInsensitive);

    Cycle cycle{text.left(start), text.mid(caret), matches, 0, {}};
    cycle.last = Build(cycle);
    cycle_ = cycle;
    return cycle_->last;
}
