#include "server/core/login_registry.h"

namespace zorvid {

void LoginRegistry::Note(const std::string& name, const std::string& address, TimePoint now) {
    seen_[name][address] = now;
}

void LoginRegistry::Touch(const std::string& name, const std::string& address, TimePoint now) {
    auto it = seen_.find(name);
    if (it == seen_.end()) return;
    auto at = it->second.find(address);
    if (at != it->second.end()) at->second = now;
}

bool LoginRegistry::IsLoggedIn(const std::string& name, const std::string& address,
                               TimePoint now) const {
    auto it = seen_.find(name);
    if (it == seen_.end()) return false;
    auto at = it->second.find(address);
    return at != it->second.end() && now - at->second < lifetime_;
}

void LoginRegistry::Expire(TimePoint now) {
    for (auto it = seen_.begin(); it != seen_.end();) {
        auto& byAddress = it->second;
        for (auto at = byAddress.begin(); at != byAddress.end();) {
            at = (now - at->second >= lifetime_) ? byAddress.erase(at) : std::next(at);
        }
        it = byAddress.empty() ? seen_.erase(it) : std::next(it);
    }
}

}  // namespace zorvid
