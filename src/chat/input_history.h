#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The lines and commands sent in this session, walked with Up and Down like a shell's
// history. The line being typed when the walk starts is kept and comes back when the walk
// goes past the newest entry.
class InputHistory {
public:
    explicit InputHistory(qsizetype limit = 500) : limit_(limit) {}

    // A line that was sent; an immediate repeat is kept once. Ends any walk.
    void Add(const QString& line);
    // The next older entry, given what the input holds now; nothing at the oldest entry.
    std::optional<QString> Older(const QString& current);
    // The next newer entry, or the kept line past the newest; nothing when not walking.
    std::optional<QString> Newer(const QString& current);
    // Typing after a walk makes the edited text the new line being typed.
    void StopWalking() { position_ = -1; }

    qsizetype size() const { return entries_.size(); }

private:
    QStringList entries_;
    qsizetype limit_;
    qsizetype position_ = -1;  // index into entries_ while walking
    QString draft_;
};
