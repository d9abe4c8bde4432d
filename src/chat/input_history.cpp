#include "chat/input_history.h"

void InputHistory::Add(const QString& line) {
    position_ = -1;
    draft_.clear();
    if (line.isEmpty() || (!entries_.isEmpty() && entries_.last() == line)) return;
    entries_.append(line);
    if (entries_.size() > limit_) entries_.removeFirst();
}

std::optional<QString> InputHistory::Older(const QString& current) {
    if (entries_.isEmpty() || position_ == 0) return std::nullopt;
    if (position_ < 0) {
        draft_ = current;
        position_ = entries_.size();
    }
    return entries_.at(--position_);
}

std::optional<QString> InputHistory::Newer(const QString&) {
    if (position_ < 0) return std::nullopt;
    if (++position_ < entries_.size()) return entries_.at(position_);
    position_ = -1;
    return draft_;
}
