#pragma once

#include <string_view>

#include "server/core/event_log.h"

namespace zorvid {

// Sends each event to the systemd journal natively: the line as MESSAGE, each field as
// ZORVID_<key>, so `journalctl ZORVID_NAME=ann` finds one person's events.
class JournalSink : public LogSink {
public:
    void Event(std::string_view message, std::initializer_list<LogField> fields) override;

    // True when systemd started us with the journal behind stderr (JOURNAL_STREAM names it).
    static bool Available();
    // True when stderr itself is that journal stream, so writing there too would log twice.
    static bool StderrIsJournal();
};

}  // namespace zorvid
