#include "server/core/hash_gate.h"

#include <algorithm>
#include <thread>

namespace zorvid {

HashGate::HashGate(const HashLimits& limits)
    : concurrency_(limits.concurrency ? limits.concurrency
                                      : std::max(std::thread::hardware_concurrency(), 1u)),
      queueBound_(limits.queueBound),
      maxWait_(limits.maxWait) {}

void HashGate::Acquire() {
    std::unique_lock lock(mutex_);
    if (running_ >= concurrency_) {
        if (waiting_ >= queueBound_) throw HashBusy("too many password checks are waiting");
        ++waiting_;
        const bool free =
            freed_.wait_for(lock, maxWait_, [this] { return running_ < concurrency_; });
        --waiting_;
        if (!free) throw HashBusy("a password check waited too long");
    }
    ++running_;
    peak_ = std::max(peak_, running_);
}

void HashGate::Release() {
    {
        std::lock_guard lock(mutex_);
        --running_;
    }
    freed_.notify_one();
}

std::size_t HashGate::Waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

unsigned HashGate::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

unsigned HashGate::PeakRunning() const {
    std::lock_guard lock(mutex_);
    return peak_;
}

}  // namespace zorvid
