#pragma once

#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zorvid {

class AccountStore;
class EventLog;

// The service's web site on its own thread: the generated pages from `siteDir`, plus the
// registration form ("/ch/user/") and the password form ("/ch/query/index.asp"), which
// reach the account store (itself safe across threads).
class WebSite {
public:
    WebSite(std::string siteDir, AccountStore& accounts, EventLog& log);
    ~WebSite();
    WebSite(const WebSite&) = delete;
    WebSite& operator=(const WebSite&) = delete;

    // Binds and starts serving; returns the bound port. Throws std::runtime_error.
    int Start(const std::string& bindAddress, int port);
    void Stop();

private:
    void Routes();

    std::string siteDir_;
    AccountStore& accounts_;
    EventLog& log_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
};

// Replaces the five characters that carry meaning in HTML.
std::string HtmlEscape(const std::string& text);

}  // namespace zorvid
