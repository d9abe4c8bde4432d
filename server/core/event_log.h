#pragma once

#include <initializer_list>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace zorvid {

// One structured detail of an event: a journal field name (upper case, digits, '_') and
// its value as the peer sent it.
struct LogField {
    std::string_view key;
    std::string_view value;
};

// Where events go besides the stream: the systemd journal in the program, a recorder in
// tests. Values arrive unescaped; the sink keeps them apart from the message.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void Event(std::string_view message, std::initializer_list<LogField> fields) = 0;
};

// One line per event on a stream (stderr in the program). The web site logs from its own
// thread, hence the lock. A null stream makes the log silent (unit tests). Control
// characters in a line are escaped, so no text can end the line early or start a forged one.
class EventLog {
public:
    explicit EventLog(std::ostream* out, LogSink* sink = nullptr) : out_(out), sink_(sink) {}

    void Line(std::string_view text) { Line(text, {}); }
    // The same line, with the names, rooms and addresses in it also as separate fields.
    void Line(std::string_view text, std::initializer_list<LogField> fields);

private:
    std::ostream* out_;
    LogSink* sink_;
    std::mutex mutex_;
};

// `text` in double quotes for a log line, with '"', '\' and control characters escaped.
std::string LogQuote(std::string_view text);

// Control characters as \xHH; everything else as it is.
std::string EscapeControls(std::string_view text);

}  // namespace zorvid
