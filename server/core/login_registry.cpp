#include "server/core/login_registry.h"

#include <algorithm>

namespace zorvid {

void LoginRegistry::Note(const std::string& name, const std::string& address, TimePoint now) {
    std::lock_guard lock(mutex_);
    seen_[name][address] = now;
}

void LoginRegistry::Touch(const std::string& name, const std::string& address, TimePoint now) {
    std::lock_guard lock(mutex_);
    auto it = seen_.find(name);
    if (it == seen_.end()) return;
    auto at = it->second.find(address);
    if (at != it->second.end()) at->second = now;
}

bool LoginRegistry::IsLoggedIn(const std::string& name, const std::string& address,
                               TimePoint now) const {
    std::lock_guard lock(mutex_);
    auto it = seen_.find(name);
    if (it == seen_.end()) return false;
    auto at = it->second.find(address);
    return at != it->second.end() && now - at->second < lifetime_;
}

void LoginRegistry::Expire(TimePoint now) {
    std::lock_guard lock(mutex_);
    for (auto it = seen_.begin(); it != seen_.end();) {
        auto& byAddress = it->second;
        for (auto at = byAddress.begin(); at != byAddress.end();) {
            at = (now - at->second >= lifetime_) ? byAddress.erase(at) : std::next(at);
        }
        it = byAddress.empty() ? seen_.erase(it) : std::next(it);
    }
}

namespace {

// Bounds each failure table when logins fail from very many names or addresses: the entry
// that failed longest ago makes room.
constexpr std::size_t kMaxTrackedFailures = 65536;

long long Seconds(std::chrono::milliseconds ms) { return (ms.count() + 999) / 1000; }

}  // namespace

std::chrono::milliseconds LoginThrottle::Wait(const Failures& f, int free) const {
    if (settings_.base.count() <= 0 || f.count <= free) return std::chrono::milliseconds(0);
    const int doublings = f.count - free - 1;
    if (doublings >= 40) return settings_.max;
    return std::min<std::chrono::milliseconds>(settings_.max, settings_.base * (1LL << doublings));
}

std::string LoginThrottle::NameKey(const std::string& name) const {
    return name.substr(0, settings_.maxNameBytes + 1);
}

std::string LoginThrottle::Refusal(const std::string& name, const std::string& address,
                                   TimePoint now) const {
    if (settings_.base.count() <= 0) return {};
    std::lock_guard lock(mutex_);
    std::string why;
    std::chrono::milliseconds longest(0);
    const auto check = [&](const Table& table, const std::string& key, int free,
                           const char* whose) {
        const auto it = table.find(key);
        if (it == table.end()) return;
        const auto until = it->second.last + Wait(it->second, free);
        if (until <= now) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
        if (left <= longest) return;
        longest = left;
        why = "backing off after " + std::to_string(it->second.count) + " failed logins " + whose +
              " (next check in " + std::to_string(Seconds(left)) + " s)";
    };
    check(byName_, NameKey(name), settings_.freePerName, "of the name");
    check(byAddress_, address, settings_.freePerAddress, "from the address");
    return why;
}

void LoginThrottle::Count(Table& table, const std::string& key, int free, TimePoint now) {
    auto it = table.find(key);
    if (it == table.end()) {
        if (table.size() >= kMaxTrackedFailures) ForgetIn(table, free, now);
        if (table.size() >= kMaxTrackedFailures) {
            table.erase(std::min_element(table.begin(), table.end(), [](auto& a, auto& b) {
                return a.second.last < b.second.last;
            }));
        }
        it = table.emplace(key, Failures{}).first;
    }
    ++it->second.count;
    it->second.last = now;
}

void LoginThrottle::Failed(const std::string& name, const std::string& address, TimePoint now) {
    if (settings_.base.count() <= 0) return;
    std::lock_guard lock(mutex_);
    Count(byName_, NameKey(name), settings_.freePerName, now);
    Count(byAddress_, address, settings_.freePerAddress, now);
}

void LoginThrottle::Succeeded(const std::string& name) {
    std::lock_guard lock(mutex_);
    byName_.erase(NameKey(name));
}

std::size_t LoginThrottle::Tracked() const {
    std::lock_guard lock(mutex_);
    return byName_.size() + byAddress_.size();
}

void LoginThrottle::ForgetIn(Table& table, int free, TimePoint now) {
    for (auto it = table.begin(); it != table.end();) {
        const auto quietUntil = it->second.last + Wait(it->second, free) + settings_.max;
        it = quietUntil <= now ? table.erase(it) : std::next(it);
    }
}

void LoginThrottle::Forget(TimePoint now) {
    std::lock_guard lock(mutex_);
    ForgetIn(byName_, settings_.freePerName, now);
    ForgetIn(byAddress_, settings_.freePerAddress, now);
}

}  // namespace zorvid
