#include "server/core/web_site.h"

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "server/core/account_store.h"
#include "server/core/event_log.h"

namespace zorvid {
namespace {

std::string ResultPage(const std::string& title, const std::string& message) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           "</title><link rel=\"stylesheet\" href=\"/site.css\"></head><body><h1>" +
           HtmlEscape(title) + "</h1><p>" + HtmlEscape(message) +
           "</p><p><a href=\"/\">Back to the portal</a></p></body></html>";
}

bool ReadFile(const std::filesystem::path& p, std::string& out) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
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

WebSite::WebSite(std::string siteDir, AccountStore& accounts, EventLog& log)
    : siteDir_(std::move(siteDir)),
      accounts_(accounts),
      log_(log),
      server_(std::make_unique<httplib::Server>()) {}

WebSite::~WebSite() { Stop(); }

void WebSite::Routes() {
    server_->set_payload_max_length(64 * 1024);
    if (!server_->set_mount_point("/", siteDir_)) {
        throw std::runtime_error("web site folder not found: " + siteDir_);
    }
    server_->set_file_extension_and_mimetype_mapping("asp", "text/html");
    server_->set_file_extension_and_mimetype_mapping("ogg", "video/ogg");
    server_->set_file_extension_and_mimetype_mapping("wav", "audio/wav");

    server_->Post("/ch/user/", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.get_param_value("name");
        const std::string password = req.get_param_value("password");
        const std::string again = req.get_param_value("password2");
        std::string message;
        if (password != again) {
            message = "The two passwords differ. Nothing was changed.";
        } else {
            switch (accounts_.Register(name, password)) {
                case RegisterOutcome::Created:
                    message = "Your account \"" + name + "\" is ready. You can log in now.";
                    log_.Line("account \"" + name + "\" registered on the web site");
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
        res.set_content(ResultPage("Registration", message), "text/html; charset=utf-8");
    });

    server_->Post("/ch/query/index.asp",
                  [this](const httplib::Request& req, httplib::Response& res) {
                      const std::string name = req.get_param_value("name");
                      std::string message;
                      if (req.get_param_value("new") != req.get_param_value("new2")) {
                          message = "The two new passwords differ. Nothing was changed.";
                      } else {
                          switch (accounts_.ChangePassword(name, req.get_param_value("old"),
                                                           req.get_param_value("new"))) {
                              case PasswordChangeOutcome::Changed:
                                  message = "The password of \"" + name + "\" is changed.";
                                  log_.Line("password of \"" + name + "\" changed on the web site");
                                  break;
                              case PasswordChangeOutcome::Refused:
                                  message = "Name or old password is wrong.";
                                  break;
                              case PasswordChangeOutcome::BadPassword:
                                  message = "A password has 1 to 256 characters.";
                                  break;
                          }
                      }
                      res.set_content(ResultPage("Password", message), "text/html; charset=utf-8");
                  });

    // The password page keeps its historical name; serve the form under it.
    server_->Get("/ch/query/index.asp", [this](const httplib::Request&, httplib::Response& res) {
        std::string page;
        if (ReadFile(std::filesystem::path(siteDir_) / "ch" / "query" / "index.asp", page)) {
            res.set_content(page, "text/html; charset=utf-8");
        } else {
            res.status = 404;
        }
    });
}

int WebSite::Start(const std::string& bindAddress, int port) {
    Routes();
    int bound = port;
    if (port == 0) {
        bound = server_->bind_to_any_port(bindAddress.c_str());
    } else if (!server_->bind_to_port(bindAddress.c_str(), port)) {
        bound = -1;
    }
    if (bound <= 0) {
        throw std::runtime_error("cannot listen for the web site on " + bindAddress + ":" +
                                 std::to_string(port));
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return bound;
}

void WebSite::Stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
}

}  // namespace zorvid
