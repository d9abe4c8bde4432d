#include "server/core/peer_limits.h"

#include <algorithm>

namespace zorvid {

TokenBuckets::TokenBuckets(const FloodLimits& limits, Clock::time_point now)
    : limits_(limits), lines_(limits.lineBurst), bytes_(limits.byteBurst), last_(now) {}

void TokenBuckets::Refill(Clock::time_point now) {
    if (now <= last_) return;
    const double seconds = std::chrono::duration<double>(now - last_).count();
    lines_ = std::min(limits_.lineBurst, lines_ + seconds * limits_.linesPerSecond);
    bytes_ = std::min(limits_.byteBurst, bytes_ + seconds * limits_.bytesPerSecond);
    last_ = now;
}

bool TokenBuckets::MayTake(Clock::time_point now) {
    Refill(now);
    return lines_ >= 1 && bytes_ > 0;
}

void TokenBuckets::Take(std::size_t bytes) {
    lines_ -= 1;
    bytes_ -= static_cast<double>(bytes);
}

std::chrono::milliseconds TokenBuckets::Wait() const {
    double seconds = 0;
    if (lines_ < 1) seconds = (1 - lines_) / limits_.linesPerSecond;
    if (bytes_ <= 0) seconds = std::max(seconds, -bytes_ / limits_.bytesPerSecond);
    // Rounded up, and at least one tick: waking early would only find the buckets short.
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0) + 1);
}

}  // namespace zorvid
