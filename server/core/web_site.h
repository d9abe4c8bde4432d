#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct MHD_Daemon;
struct MHD_Connection;

namespace zorvid {

class AccountStore;
class EventLog;

// What one visitor may cost the web site. A request must arrive whole within
// `requestTimeout` of connecting or of the previous answer, however slowly it trickles.
struct WebLimits {
    unsigned maxConnections = 256;
    unsigned maxPerAddress = 16;
    std::size_t maxHeaderBytes = 16 * 1024;  // request line and headers together
    std::size_t maxHeaders = 64;
    std::size_t maxBodyBytes = 64 * 1024;
    std::chrono::milliseconds requestTimeout{10'000};
    // Form answers that wait for the password hashing; more are refused as busy.
    unsigned formWorkers = 2;
    std::size_t formQueue = 16;
};

// The service's web site on its own event thread (libmicrohttpd): the generated pages from
// `siteDir`, plus the registration form ("/ch/user/") and the password form
// ("/ch/query/index.asp"). Forms are answered on worker threads, since they wait for the
// password hashing, so a slow hash never holds up a page.
class WebSite {
public:
    WebSite(std::string siteDir, AccountStore& accounts, EventLog& log, WebLimits limits = {});
    ~WebSite();
    WebSite(const WebSite&) = delete;
    WebSite& operator=(const WebSite&) = delete;

    // Binds and starts serving; returns the bound port. Throws std::runtime_error.
    // Serves HTTPS with these PEM files (certificate chain, key) from the next Start.
    void UseTls(const std::string& certFile, const std::string& keyFile);
    int Start(const std::string& bindAddress, int port);
    void Stop();

    struct Request;
    struct Peer;

    // Called by the library on its event thread.
    bool Access(MHD_Connection* c, const std::string& url, const std::string& method,
                std::size_t* size, const char* data, void** context);
    void Completed(MHD_Connection* c, void** context);
    void Connected(MHD_Connection* c, void** context);
    void Closed(void** context);

private:
    void MarkAnswering(MHD_Connection* c);
    bool ServeFile(MHD_Connection* c, const std::string& url);
    bool StartForm(MHD_Connection* c, Request& request);
    void AnswerForm(Request& request);
    void Work();
    void Reap();

    std::string siteDir_;
    std::string tlsCertPem_, tlsKeyPem_;  // empty: plain HTTP
    AccountStore& accounts_;
    EventLog& log_;
    WebLimits limits_;
    MHD_Daemon* daemon_ = nullptr;

    // Form jobs, taken by the workers.
    std::mutex jobsMutex_;
    std::condition_variable jobsReady_;
    std::deque<Request*> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;

    // Open connections, for the whole-request deadline; the reaper cuts late ones.
    std::mutex peersMutex_;
    std::condition_variable reaperWake_;
    std::vector<Peer*> peers_;
    std::thread reaper_;
};

// Replaces the five characters that carry meaning in HTML.
std::string HtmlEscape(const std::string& text);

}  // namespace zorvid
