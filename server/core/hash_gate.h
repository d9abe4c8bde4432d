#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <stdexcept>

namespace zorvid {

// Thrown when a password hash cannot start: the queue is full or the wait ran out.
struct HashBusy : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct HashLimits {
    unsigned concurrency = 0;  // 0: one per core
    std::size_t queueBound = 16;
    std::chrono::milliseconds maxWait{10'000};
};

// Bounds the Argon2id work: each hash holds its memory cost (64 MiB by default) while it
// runs, so at most `concurrency` run at once, at most `queueBound` more wait, and no one
// waits longer than `maxWait`. Safe across threads.
class HashGate {
public:
    explicit HashGate(const HashLimits& limits);

    // Runs `work` in a free slot; throws HashBusy instead of waiting beyond the bounds.
    template <typename Work>
    auto Run(Work&& work) {
        Slot slot(*this);
        return work();
    }

    unsigned Concurrency() const { return concurrency_; }
    std::size_t Waiting() const;
    unsigned Running() const;
    unsigned PeakRunning() const;  // most hashes seen at once (tests check the bound)

private:
    struct Slot {
        explicit Slot(HashGate& gate) : gate_(gate) { gate_.Acquire(); }
        ~Slot() { gate_.Release(); }
        Slot(const Slot&) = delete;
        Slot& operator=(const Slot&) = delete;
        HashGate& gate_;
    };
    void Acquire();
    void Release();

    const unsigned concurrency_;
    const std::size_t queueBound_;
    const std::chrono::milliseconds maxWait_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    unsigned running_ = 0;
    unsigned peak_ = 0;
    std::size_t waiting_ = 0;
};

}  // namespace zorvid
