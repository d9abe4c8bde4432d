#pragma once

#include <mutex>
#include <ostream>
#include <string_view>

namespace zorvid {

// One line per event on a stream (stderr in the program). The web site logs from its own
// thread, hence the lock. A null stream makes the log silent (unit tests).
class EventLog {
public:
    explicit EventLog(std::ostream* out) : out_(out) {}

    void Line(std::string_view text);

private:
    std::ostream* out_;
    std::mutex mutex_;
};

}  // namespace zorvid
