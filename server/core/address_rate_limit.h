#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

namespace zorvid {

// What the per-address limits count by: an IPv4 address itself, an IPv6 address by its /64,
// since one site holds a whole /64 and could otherwise walk through it.
std::string AddressBlock(const std::string& address);

// New connections per peer address as a token bucket: a burst passes at once, then
// connections are let in at a steady rate. A bucket that has filled up again says nothing
// and is forgotten, so the table holds only addresses that connected lately.
class AddressRateLimit {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // A rate of 0 lets everything in.
    AddressRateLimit(double perSecond, int burst);

    // Takes one connection from `address`'s bucket; false when the bucket is empty.
    bool Admit(const std::string& address, TimePoint now);
    // Drops the buckets that are full again.
    void Forget(TimePoint now);
    std::size_t Tracked() const { return buckets_.size(); }

private:
    struct Bucket {
        double tokens = 0;
        TimePoint at;
    };
    double Refilled(const Bucket& b, TimePoint now) const;

    double perSecond_;
    double burst_;
    std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace zorvid
