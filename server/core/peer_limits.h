#pragma once

#include <chrono>
#include <cstddef>

namespace zorvid {

// Flood control on chat connections: a token bucket over records ("lines") and one over
// their bytes. A person typing, pasting ten lines or sending a few effects stays within the
// bursts; a sender above the rates finds its input waiting, unread, and is closed once it
// has stayed above them for `cutAfter`.
struct FloodLimits {
    bool enabled = true;
    double linesPerSecond = 5;
    double lineBurst = 20;
    double bytesPerSecond = 16 * 1024;
    double byteBurst = 64 * 1024;
    std::chrono::milliseconds cutAfter{60'000};
};

// TCP keep-alive finds peers that vanished: idle seconds, then probes this far apart.
struct KeepAliveSettings {
    std::chrono::seconds idle{60};  // 0: off
    std::chrono::seconds interval{10};
    int probes = 6;
};

// The two buckets of FloodLimits. A record is taken while a line token and any byte credit
// are left; its bytes may run the credit into debt, so a record larger than the burst still
// passes, and the wait after it is longer.
class TokenBuckets {
public:
    using Clock = std::chrono::steady_clock;

    TokenBuckets(const FloodLimits& limits, Clock::time_point now);
    // Whether another record may be taken at `now`.
    bool MayTake(Clock::time_point now);
    void Take(std::size_t bytes);
    // How long after the last MayTake the next one can be true.
    std::chrono::milliseconds Wait() const;

private:
    void Refill(Clock::time_point now);

    FloodLimits limits_;
    double lines_;
    double bytes_;
    Clock::time_point last_;
};

}  // namespace zorvid
