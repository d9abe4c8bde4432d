#include "server/core/web_site.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "server/core/account_store.h"
#include "server/core/event_log.h"

namespace zorvid {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kRegisterPath = "/ch/user/";
constexpr std::string_view kPasswordPath = "/ch/query/index.asp";
constexpr const char* kPageType = "text/html; charset=utf-8";
constexpr std::string_view kBusyMessage =
    "The server is busy. Try again in a moment. Nothing was changed.";
constexpr std::string_view kFailedMessage = "Something went wrong. Nothing was changed.";

// The types the site's files are served with, by file name extension.
constexpr std::pair<std::string_view, std::string_view> kFileTypes[] = {
    {"html", "text/html"},    {"htm", "text/html"},         {"asp", "text/html"},
    {"css", "text/css"},      {"js", "text/javascript"},    {"txt", "text/plain"},
    {"svg", "image/svg+xml"}, {"png", "image/png"},         {"jpg", "image/jpeg"},
    {"gif", "image/gif"},     {"ico", "image/x-icon"},      {"wav", "audio/wav"},
    {"ogg", "video/ogg"},     {"json", "application/json"},
};

std::string ResultPage(const std::string& title, const std::string& message) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           "</title><link rel=\"stylesheet\" href=\"/site.css\"></head><body><h1>" +
           HtmlEscape(title) + "</h1><p>" + HtmlEscape(message) +
           "</p><p><a href=\"/\">Back to the portal</a></p></body></html>";
}

// The heading of a form's answer page.
std::string FormTitle(std::string_view path) {
    return path == kRegisterPath ? "Registration" : "Password";
}

std::string_view FileType(std::string_view path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return "application/octet-stream";
    }
    const auto ext = path.substr(dot + 1);
    for (const auto& [e, type] : kFileTypes) {
        if (e == ext) return type;
    }
    return "application/octet-stream";
}

// A path inside the site: absolute, no "." or ".." segment, no NUL.
bool SafePath(std::string_view url) {
    if (url.empty() || url.front() != '/' || url.find('\0') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 1;
    while (start <= url.size()) {
        const auto end = std::min(url.find('/', start), url.size());
        const auto segment = url.substr(start, end - start);
        if (segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

bool Queue(MHD_Connection* c, unsigned status, MHD_Response* response) {
    if (!response) return false;
    const bool ok = MHD_queue_response(c, status, response) == MHD_YES;
    MHD_destroy_response(response);
    return ok;
}

bool QueueText(MHD_Connection* c, unsigned status, const std::string& body, const char* type) {
    MHD_Response* r = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                      MHD_RESPMEM_MUST_COPY);
    if (r && type) MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    return Queue(c, status, r);
}

// The first byte range of a "bytes=" Range header, as [first, last]; false when the header
// asks for something else, which is then answered with the whole file.
bool ParseRange(std::string_view header, std::uint64_t size, std::uint64_t& first,
                std::uint64_t& last, bool& satisfiable) {
    constexpr std::string_view kUnit = "bytes=";
    if (header.substr(0, kUnit.size()) != kUnit) return false;
    header.remove_prefix(kUnit.size());
    if (header.find(',') != std::string_view::npos) return false;
    const auto dash = header.find('-');
    if (dash == std::string_view::npos) return false;
    const auto a = header.substr(0, dash), b = header.substr(dash + 1);
    std::uint64_t x = 0, y = 0;
    const auto number = [](std::string_view s, std::uint64_t& out) {
        const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
        return ec == std::errc() && p == s.data() + s.size() && !s.empty();
    };
    if (a.empty()) {  // the last y bytes
        if (!number(b, y)) return false;
        satisfiable = y > 0 && size > 0;
        first = size - std::min(y, size);
        last = size ? size - 1 : 0;
        return true;
    }
    if (!number(a, x) || (!b.empty() && !number(b, y))) return false;
    satisfiable = x < size && (b.empty() || y >= x);
    first = x;
    last = b.empty() ? size - 1 : std::min(y, size - 1);
    return true;
}

std::string PeerAddress(MHD_Connection* c) {
    const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return "?";
    char text[INET6_ADDRSTRLEN] = "?";
    const sockaddr* a = info->client_addr;
    if (a->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
    } else if (a->sa_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text,
                  sizeof text);
    }
    return text;
}

}  // namespace

// One open connection; `deadline` is when its next request must be complete.
struct WebSite::Peer {
    int fd = -1;
    Clock::time_point deadline;
    bool answering = false;  // a request is complete; the answer is being made or sent
    bool cut = false;
};

// One request. Form fields keep their first value, as a repeated field changes nothing.
struct WebSite::Request {
    MHD_Connection* connection = nullptr;
    std::string path;
    std::string address;
    bool form = false;
    bool file = false;  // GET or HEAD of one of the site's files
    MHD_PostProcessor* post = nullptr;
    std::map<std::string, std::string> fields;
    std::string currentKey;
    bool skipping = false;
    std::size_t bodyBytes = 0;
    bool queued = false;    // handed to a worker; the connection is suspended
    bool answered = false;  // the worker made `page`
    unsigned status = MHD_HTTP_OK;
    std::string page;

    ~Request() {
        if (post) MHD_destroy_post_processor(post);
    }
    std::string Field(const std::string& key) const {
        const auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    }
};

namespace {

MHD_Result OnField(void* cls, MHD_ValueKind, const char* key, const char*, const char*, const char*,
                   const char* data, std::uint64_t off, std::size_t size) {
    auto& r = *static_cast<WebSite::Request*>(cls);
    if (off == 0) {
        r.currentKey = key ? key : "";
        r.skipping = r.fields.count(r.currentKey) != 0;
        if (!r.skipping) r.fields[r.currentKey];
    }
    if (!r.skipping && data) r.fields[r.currentKey].append(data, size);
    return MHD_YES;
}

MHD_Result OnAccess(void* self, MHD_Connection* c, const char* url, const char* method, const char*,
                    const char* data, std::size_t* size, void** context) {
    return static_cast<WebSite*>(self)->Access(c, url, method, size, data, context) ? MHD_YES
                                                                                    : MHD_NO;
}

void OnCompleted(void* self, MHD_Connection* c, void** context, MHD_RequestTerminationCode) {
    static_cast<WebSite*>(self)->Completed(c, context);
}

void OnConnection(void* self, MHD_Connection* c, void** context,
                  MHD_ConnectionNotificationCode event) {
    if (event == MHD_CONNECTION_NOTIFY_STARTED) {
        static_cast<WebSite*>(self)->Connected(c, context);
    } else {
        static_cast<WebSite*>(self)->Closed(context);
    }
}

WebSite::Peer* PeerOf(MHD_Connection* c) {
    const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<WebSite::Peer*>(info->socket_context) : nullptr;
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

WebSite::WebSite(std::string siteDir, AccountStore& accounts, EventLog& log, WebLimits limits)
    : siteDir_(std::move(siteDir)), accounts_(accounts), log_(log), limits_(limits) {}

WebSite::~WebSite() { Stop(); }

void WebSite::UseTls(const std::string& certFile, const std::string& keyFile) {
    const auto read = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in || text.str().empty()) throw std::runtime_error("cannot read " + file);
        return text.str();
    };
    tlsCertPem_ = read(certFile);
    tlsKeyPem_ = read(keyFile);
}

int WebSite::Start(const std::string& bindAddress, int port) {
    struct stat st {};
    if (::stat(siteDir_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw std::runtime_error("web site folder not found: " + siteDir_);
    }
    sockaddr_storage where{};
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&where);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&where);
    if (inet_pton(AF_INET, bindAddress.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
    } else if (inet_pton(AF_INET6, bindAddress.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        flags |= MHD_USE_IPv6;
    } else {
        throw std::runtime_error("cannot listen for the web site on " + bindAddress +
                                 ": not an address");
    }
    // The library's own idle limit covers answers read slowly; the reaper covers requests.
    const auto idleSeconds = static_cast<unsigned>(
        std::max<long long>(1, (limits_.requestTimeout.count() + 999) / 1000));
    std::vector<MHD_OptionItem> tls;
    if (!tlsCertPem_.empty()) {
        flags |= MHD_USE_TLS;
        tls.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, tlsCertPem_.data()});
        tls.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, tlsKeyPem_.data()});
    }
    tls.push_back({MHD_OPTION_END, 0, nullptr});
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &OnAccess, this, MHD_OPTION_SOCK_ADDR, &where,
        MHD_OPTION_LISTENING_ADDRESS_REUSE, 1u, MHD_OPTION_CONNECTION_LIMIT, limits_.maxConnections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits_.maxPerAddress,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.maxHeaderBytes, MHD_OPTION_CONNECTION_TIMEOUT,
        idleSeconds, MHD_OPTION_NOTIFY_COMPLETED, &OnCompleted, this, MHD_OPTION_NOTIFY_CONNECTION,
        &OnConnection, this, MHD_OPTION_ARRAY, tls.data(), MHD_OPTION_END);
    if (!daemon_) {
        throw std::runtime_error("cannot listen for the web site on " + bindAddress + ":" +
                                 std::to_string(port));
    }
    const auto* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    stopping_ = false;
    for (unsigned i = 0; i < std::max(limits_.formWorkers, 1u); ++i) {
        workers_.emplace_back([this] { Work(); });
    }
    reaper_ = std::thread([this] { Reap(); });
    return info ? info->port : port;
}

void WebSite::Stop() {
    if (!daemon_) return;
    {
        std::lock_guard lock(jobsMutex_);
        stopping_ = true;
    }
    jobsReady_.notify_all();
    for (auto& w : workers_) w.join();
    workers_.clear();
    // Forms still queued are answered as busy, so no connection stays suspended.
    for (Request* r : jobs_) {
        r->status = MHD_HTTP_SERVICE_UNAVAILABLE;
        r->page = ResultPage(FormTitle(r->path), std::string(kBusyMessage));
        r->answered = true;
        MHD_resume_connection(r->connection);
    }
    jobs_.clear();
    {
        std::lock_guard lock(peersMutex_);
        reaperWake_.notify_all();
    }
    reaper_.join();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
}

void WebSite::Connected(MHD_Connection* c, void** context) {
    auto* peer = new Peer;
    const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
    peer->fd = info ? info->connect_fd : -1;
    peer->deadline = Clock::now() + limits_.requestTimeout;
    std::lock_guard lock(peersMutex_);
    peers_.push_back(peer);
    *context = peer;
}

// The library calls this before it closes the socket, so the reaper never touches a
// descriptor that another connection has been given since.
void WebSite::Closed(void** context) {
    auto* peer = static_cast<Peer*>(*context);
    if (!peer) return;
    {
        std::lock_guard lock(peersMutex_);
        peers_.erase(std::remove(peers_.begin(), peers_.end(), peer), peers_.end());
    }
    delete peer;
    *context = nullptr;
}

void WebSite::Completed(MHD_Connection* c, void** context) {
    delete static_cast<Request*>(*context);
    *context = nullptr;
    if (Peer* peer = PeerOf(c)) {
        std::lock_guard lock(peersMutex_);
        peer->answering = false;
        peer->deadline = Clock::now() + limits_.requestTimeout;
    }
}

void WebSite::Reap() {
    const auto tick = std::clamp(limits_.requestTimeout / 4, std::chrono::milliseconds(20),
                                 std::chrono::milliseconds(500));
    std::unique_lock lock(peersMutex_);
    while (true) {
        reaperWake_.wait_for(lock, tick);
        {
            std::lock_guard jobs(jobsMutex_);
            if (stopping_) return;
        }
        const auto now = Clock::now();
        for (Peer* p : peers_) {
            if (p->answering || p->cut || p->fd < 0 || now < p->deadline) continue;
            // The library sees the end of the stream and closes the connection itself.
            ::shutdown(p->fd, SHUT_RDWR);
            p->cut = true;
        }
    }
}

bool WebSite::Access(MHD_Connection* c, const std::string& url, const std::string& method,
                     std::size_t* size, const char* data, void** context) {
    auto* request = static_cast<Request*>(*context);
    if (!request) {
        request = new Request;
        *context = request;
        request->connection = c;
        request->path = url;
        const bool form =
            method == MHD_HTTP_METHOD_POST && (url == kRegisterPath || url == kPasswordPath);
        const int headers = MHD_get_connection_values(c, MHD_HEADER_KIND, nullptr, nullptr);
        if (headers < 0 || static_cast<std::size_t>(headers) > limits_.maxHeaders) {
            MarkAnswering(c);
            return QueueText(c, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE, "", nullptr);
        }
        if (form) {
            // Too long a body is refused from its announced length, before it is sent.
            if (const char* length = MHD_lookup_connection_value(c, MHD_HEADER_KIND,
                                                                 MHD_HTTP_HEADER_CONTENT_LENGTH)) {
                std::uint64_t n = 0;
                const std::string_view s(length);
                const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
                if (ec != std::errc() || n > limits_.maxBodyBytes) {
                    MarkAnswering(c);
                    return QueueText(c, MHD_HTTP_CONTENT_TOO_LARGE, "", nullptr);
                }
            }
            request->form = true;
            request->address = PeerAddress(c);
            request->post = MHD_create_post_processor(c, 1024, &OnField, request);
            return true;
        }
        // Answered once the request is complete, so the connection can be kept open.
        request->file = method == MHD_HTTP_METHOD_GET || method == MHD_HTTP_METHOD_HEAD;
        return true;
    }
    if (!request->form) {
        if (*size) {
            *size = 0;  // a body nobody asked for
            return true;
        }
        MarkAnswering(c);
        if (!request->file) return QueueText(c, MHD_HTTP_NOT_FOUND, "", nullptr);
        return ServeFile(c, url);
    }
    if (*size) {
        request->bodyBytes += *size;
        if (request->bodyBytes > limits_.maxBodyBytes) return false;  // sent without a length
        if (request->post) MHD_post_process(request->post, data, *size);
        *size = 0;
        return true;
    }
    if (!request->queued) return StartForm(c, *request);
    if (!request->answered) return true;
    return QueueText(c, request->status, request->page, kPageType);
}

bool WebSite::ServeFile(MHD_Connection* c, const std::string& url) {
    if (!SafePath(url)) return QueueText(c, MHD_HTTP_NOT_FOUND, "", nullptr);
    std::string path = siteDir_ + url;
    if (path.back() == '/') path += "index.html";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        return QueueText(c, MHD_HTTP_NOT_FOUND, "", nullptr);
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::string type(FileType(path));
    unsigned status = MHD_HTTP_OK;
    MHD_Response* r = nullptr;
    std::uint64_t first = 0, last = 0;
    bool satisfiable = false;
    const char* range = MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_RANGE);
    if (range && ParseRange(range, size, first, last, satisfiable)) {
        if (!satisfiable) {
            ::close(fd);
            r = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
            if (r) {
                const std::string all = "bytes */" + std::to_string(size);
                MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_RANGE, all.c_str());
            }
            return Queue(c, MHD_HTTP_RANGE_NOT_SATISFIABLE, r);
        }
        status = MHD_HTTP_PARTIAL_CONTENT;
        r = MHD_create_response_from_fd_at_offset64(last - first + 1, fd, first);
        if (r) {
            const std::string part = "bytes " + std::to_string(first) + "-" + std::to_string(last) +
                                     "/" + std::to_string(size);
            MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_RANGE, part.c_str());
        }
    } else {
        r = MHD_create_response_from_fd64(size, fd);
    }
    if (!r) {
        ::close(fd);
        return false;
    }
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
    MHD_add_response_header(r, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
    return Queue(c, status, r);
}

void WebSite::MarkAnswering(MHD_Connection* c) {
    std::lock_guard lock(peersMutex_);
    if (Peer* peer = PeerOf(c)) peer->answering = true;
}

bool WebSite::StartForm(MHD_Connection* c, Request& request) {
    MarkAnswering(c);
    {
        std::lock_guard lock(jobsMutex_);
        if (!stopping_ && jobs_.size() < limits_.formQueue) {
            request.queued = true;
            MHD_suspend_connection(c);
            jobs_.push_back(&request);
            jobsReady_.notify_one();
            return true;
        }
    }
    return QueueText(c, MHD_HTTP_SERVICE_UNAVAILABLE,
                     ResultPage(FormTitle(request.path), std::string(kBusyMessage)), kPageType);
}

void WebSite::Work() {
    while (true) {
        Request* request = nullptr;
        {
            std::unique_lock lock(jobsMutex_);
            // Woken by new jobs and by Stop; the timed wait only re-checks.
            jobsReady_.wait_for(lock, std::chrono::seconds(1),
                                [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            if (jobs_.empty()) continue;
            request = jobs_.front();
            jobs_.pop_front();
        }
        const std::string title = FormTitle(request->path);
        try {
            AnswerForm(*request);
        } catch (const HashBusy&) {
            request->status = MHD_HTTP_SERVICE_UNAVAILABLE;
            request->page = ResultPage(title, std::string(kBusyMessage));
        } catch (const std::exception& e) {
            log_.Line(std::string("web form from ") + request->address + " failed: " + e.what(),
                      {{"ADDRESS", request->address}});
            request->status = MHD_HTTP_INTERNAL_SERVER_ERROR;
            request->page = ResultPage(title, std::string(kFailedMessage));
        }
        request->answered = true;
        MHD_resume_connection(request->connection);
    }
}

void WebSite::AnswerForm(Request& request) {
    const std::string name = request.Field("name");
    std::string message;
    if (request.path == kRegisterPath) {
        if (request.Field("password") != request.Field("password2")) {
            message = "The two passwords differ. Nothing was changed.";
        } else {
            switch (accounts_.Register(name, request.Field("password"))) {
                case RegisterOutcome::Created:
                    message = "Your account \"" + name + "\" is ready. You can log in now.";
                    log_.Line("account " + LogQuote(name) + " registered on the web site",
                              {{"NAME", name}, {"ADDRESS", request.address}});
                    break;
                case RegisterOutcome::NameTaken:
                    message = "That name is taken. Choose another.";
                    break;
                case RegisterOutcome::BadName:
                    message =
                        "A name has 1 to 32 characters, no control characters and no blank at "
                        "either end.";
                    break;
                case RegisterOutcome::BadPassword:
                    message = "A password has 1 to 256 characters.";
                    break;
            }
        }
        request.page = ResultPage(FormTitle(request.path), message);
        return;
    }
    if (request.Field("new") != request.Field("new2")) {
        message = "The two new passwords differ. Nothing was changed.";
    } else {
        switch (accounts_.ChangePassword(name, request.Field("old"), request.Field("new"))) {
            case PasswordChangeOutcome::Changed:
                message = "The password of \"" + name + "\" is changed.";
                log_.Line("password of " + LogQuote(name) + " changed on the web site",
                          {{"NAME", name}, {"ADDRESS", request.address}});
                break;
            case PasswordChangeOutcome::Refused:
                message = "Name or old password is wrong.";
                break;
            case PasswordChangeOutcome::BadPassword:
                message = "A password has 1 to 256 characters.";
                break;
        }
    }
    request.page = ResultPage(FormTitle(request.path), message);
}

}  // namespace zorvid
