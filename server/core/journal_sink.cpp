#include "server/core/journal_sink.h"

#include <sys/stat.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace zorvid {

void JournalSink::Event(std::string_view message, std::initializer_list<LogField> fields) {
    std::vector<std::string> items;
    items.reserve(fields.size() + 3);
    items.push_back("MESSAGE=" + std::string(message));
    items.push_back("PRIORITY=6");  // informational
    items.push_back("SYSLOG_IDENTIFIER=zorvid");
    for (const auto& f : fields) {
        items.push_back("ZORVID_" + std::string(f.key) + "=" + std::string(f.value));
    }
    std::vector<iovec> iov(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        iov[i].iov_base = items[i].data();
        iov[i].iov_len = items[i].size();
    }
    // Values are length-delimited, so a line break in a name stays inside its field.
    sd_journal_sendv(iov.data(), static_cast<int>(iov.size()));
}

bool JournalSink::Available() { return std::getenv("JOURNAL_STREAM") != nullptr; }

bool JournalSink::StderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream) return false;
    unsigned long long dev = 0, ino = 0;
    if (std::sscanf(stream, "%llu:%llu", &dev, &ino) != 2) return false;
    struct stat st {};
    if (fstat(STDERR_FILENO, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == dev &&
           static_cast<unsigned long long>(st.st_ino) == ino;
}

}  // namespace zorvid
