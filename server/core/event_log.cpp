#include "server/core/event_log.h"

namespace zorvid {

void EventLog::Line(std::string_view text) {
    if (!out_) return;
    std::lock_guard lock(mutex_);
    *out_ << "zorvid: " << text << '\n';
    out_->flush();
}

}  // namespace zorvid
