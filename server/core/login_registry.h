#pragma once

#include <chrono>
#include <map>
#include <string>

namespace zorvid {

// Who logged in from where. The join handshake carries only a name, so a name may join
// only from an address it logged in from, and only while that login is fresh.
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
    std::map<std::string, std::map<std::string, TimePoint>> seen_;  // name -> address -> last
};

}  // namespace zorvid
