#include "server/core/address_rate_limit.h"

#include <algorithm>
#include <asio/ip/address.hpp>

namespace zorvid {
namespace {

// Bounds the table when connections come from very many addresses at once: past it, new
// addresses go untracked and only the total connection cap holds them.
constexpr std::size_t kMaxTracked = 65536;

}  // namespace

std::string AddressBlock(const std::string& address) {
    asio::error_code ec;
    const auto parsed = asio::ip::make_address(address, ec);
    if (ec || !parsed.is_v6() || parsed.to_v6().is_v4_mapped()) return address;
    auto bytes = parsed.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), 0);
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

AddressRateLimit::AddressRateLimit(double perSecond, int burst)
    : perSecond_(perSecond), burst_(std::max(burst, 1)) {}

double AddressRateLimit::Refilled(const Bucket& b, TimePoint now) const {
    const double seconds = std::chrono::duration<double>(now - b.at).count();
    return std::min(burst_, b.tokens + std::max(seconds, 0.0) * perSecond_);
}

bool AddressRateLimit::Admit(const std::string& address, TimePoint now) {
    if (perSecond_ <= 0) return true;
    auto it = buckets_.find(address);
    if (it == buckets_.end()) {
        if (buckets_.size() >= kMaxTracked) Forget(now);
        if (buckets_.size() >= kMaxTracked) return true;
        buckets_.emplace(address, Bucket{burst_ - 1, now});
        return true;
    }
    Bucket& b = it->second;
    b.tokens = Refilled(b, now);
    b.at = now;
    if (b.tokens < 1) return false;
    b.tokens -= 1;
    return true;
}

void AddressRateLimit::Forget(TimePoint now) {
    for (auto it = buckets_.begin(); it != buckets_.end();) {
        it = Refilled(it->second, now) >= burst_ ? buckets_.erase(it) : std::next(it);
    }
}

}  // namespace zorvid
