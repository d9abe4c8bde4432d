#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

namespace zorvid {

// Who logged in from where. The join handshake carries only a name, so a name may join
// only from an address it logged in from, and only while that login is fresh. Shared by
// every event loop, so it locks; it is asked once per join, never per line.
class LoginRegistry {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit LoginRegistry(std::chrono::milliseconds lifetime) : lifetime_(lifetime) {}

    void Note(const std::string& name, const std::string& address, TimePoint now);
    // Keeps a login alive while its person is in a room.
    void Touch(const std::string& name, const std::string& address, TimePoint now);
    bool IsLoggedIn(const std::string& name, const std::string& address, TimePoint now) const;
    void Expire(TimePoint now);

private:
    std::chrono::milliseconds lifetime_;
    mutable std::mutex mutex_;
    std::map<std::string, std::map<std::string, TimePoint>> seen_;  // name -> address -> last
};

// Failed logins back off exponentially, per name and per address. After the free failures
// each further attempt must wait base, 2 base, 4 base ... (at most max) after the last
// failure; attempts made while backing off are refused unchecked, so they cost no hashing
// and do not lengthen the wait. A success clears its name; failures are forgotten once the
// longest back-off has passed quietly after their wait. Shared by every event loop.
class LoginThrottle {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    struct Settings {
        int freePerName = 3;
        int freePerAddress = 10;
        std::chrono::milliseconds base{1000};  // 0: no back-off
        std::chrono::milliseconds max{300'000};
        std::size_t maxNameBytes = 32;  // longer names cannot exist; they share one entry
    };

    explicit LoginThrottle(const Settings& settings) : settings_(settings) {}

    // Why an attempt must not be checked now (for the log), or empty when it may be.
    std::string Refusal(const std::string& name, const std::string& address, TimePoint now) const;
    void Failed(const std::string& name, const std::string& address, TimePoint now);
    void Succeeded(const std::string& name);
    void Forget(TimePoint now);
    std::size_t Tracked() const;

private:
    struct Failures {
        int count = 0;
        TimePoint last;
    };
    using Table = std::unordered_map<std::string, Failures>;

    std::chrono::milliseconds Wait(const Failures& f, int free) const;
    std::string NameKey(const std::string& name) const;
    void Count(Table& table, const std::string& key, int free, TimePoint now);
    void ForgetIn(Table& table, int free, TimePoint now);

    Settings settings_;
    mutable std::mutex mutex_;
    Table byName_;
    Table byAddress_;
};

}  // namespace zorvid
