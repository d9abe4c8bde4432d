#include "server/core/event_log.h"

namespace zorvid {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

void AppendHex(std::string& out, unsigned char c) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[c >> 4];
    out += kDigits[c & 0xF];
}

}  // namespace

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (IsControl(c)) {
            AppendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string LogQuote(std::string_view text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (IsControl(c)) {
            AppendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

void EventLog::Line(std::string_view text, std::initializer_list<LogField> fields) {
    if (!out_ && !sink_) return;
    const std::string line = EscapeControls(text);
    std::lock_guard lock(mutex_);
    if (sink_) sink_->Event(line, fields);
    if (out_) {
        *out_ << "zorvid: " << line << '\n';
        out_->flush();
    }
}

}  // namespace zorvid
