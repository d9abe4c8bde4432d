#include "server/core/server_config.h"

#include <sodium.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "net/protocol.h"

namespace zorvid {
namespace {

using Json = nlohmann::json;

std::chrono::milliseconds Millis(const Json& v, const char* key) {
    if (!v.is_number() || v.get<double>() < 0) {
        throw ConfigError(std::string("\"") + key + "\" must be a number of seconds >= 0");
    }
    return std::chrono::milliseconds(static_cast<long long>(v.get<double>() * 1000.0));
}

int Port(const Json& v, const char* key, bool allowNone) {
    if (!v.is_number_integer()) throw ConfigError(std::string("\"") + key + "\" must be a port");
    const int p = v.get<int>();
    if (p > 65535 || p < (allowNone ? -1 : 0)) {
        throw ConfigError(std::string("\"") + key + "\" is not a valid port");
    }
    return p;
}

std::string Path(const Json& v, const std::filesystem::path& baseDir, const char* key) {
    if (!v.is_string()) throw ConfigError(std::string("\"") + key + "\" must be a path");
    std::filesystem::path p = v.get<std::string>();
    if (p.is_relative()) p = baseDir / p;
    return p.lexically_normal().string();
}

LiveShowConfig ParseLiveShow(const Json& v) {
    LiveShowConfig show;
    if (!v.is_object()) throw ConfigError("\"live-show\" must be an object");
    show.code2 = v.value("code", 48);
    if (show.code2 != code2::kLiveShowStart && show.code2 != code2::kLiveShowPlaylist)
        throw ConfigError("\"live-show\" code must be 48 or 55");
    show.address = v.value("address", std::string());
    show.base = v.value("base", std::string());
    show.abstract = v.value("abstract", std::string());
    return show;
}

}  // namespace

void ParseChatPorts(const std::string& text, ServerConfig& config) {
    if (text == "0") {
        config.chatPortFirst = config.chatPortLast = 0;
        return;
    }
    const auto dash = text.find('-');
    try {
        if (dash == std::string::npos) throw std::invalid_argument("no dash");
        std::size_t used1 = 0, used2 = 0;
        const int first = std::stoi(text.substr(0, dash), &used1);
        const int last = std::stoi(text.substr(dash + 1), &used2);
        if (used1 != dash || used2 != text.size() - dash - 1) throw std::invalid_argument("junk");
        if (first < 1 || last > 65535 || first > last) throw std::invalid_argument("range");
        config.chatPortFirst = first;
        config.chatPortLast = last;
    } catch (const std::logic_error&) {
        throw ConfigError("chat ports must be FIRST-LAST (1..65535) or 0, not \"" + text + "\"");
    }
}

void ApplyConfigText(const std::string& jsonText, const std::filesystem::path& baseDir,
                     ServerConfig& c) {
    Json j;
    try {
        j = Json::parse(jsonText, nullptr, true, /*ignore_comments=*/true);
    } catch (const Json::parse_error& e) {
        throw ConfigError(std::string("configuration is not valid JSON: ") + e.what());
    }
    if (!j.is_object()) throw ConfigError("configuration must be a JSON object");
    try {
        for (const auto& [key, v] : j.items()) {
            if (key == "bind")
                c.bindAddress = v.get<std::string>();
            else if (key == "login-port")
                c.loginPort = Port(v, "login-port", false);
            else if (key == "service-port")
                c.servicePort = Port(v, "service-port", false);
            else if (key == "http-port")
                c.httpPort = Port(v, "http-port", true);
            else if (key == "chat-ports")
                ParseChatPorts(v.is_string() ? v.get<std::string>() : v.dump(), c);
            else if (key == "db")
                c.dbPath = Path(v, baseDir, "db");
            else if (key == "site")
                c.siteDir = Path(v, baseDir, "site");
            else if (key == "open-registration")
                c.openRegistration = v.get<bool>();
            else if (key == "require-login")
                c.requireLoginToJoin = v.get<bool>();
            else if (key == "min-version")
                c.minClientVersion = v.get<int>();
            else if (key == "room-capacity")
                c.roomCapacity = v.get<int>();
            else if (key == "created-room-marker")
                c.createdRoomMarker = v.get<std::string>();
            else if (key == "empty-room-grace")
                c.emptyRoomGrace = Millis(v, "empty-room-grace");
            else if (key == "handshake-timeout")
                c.handshakeTimeout = Millis(v, "handshake-timeout");
            else if (key == "idle-limit")
                c.idleLimit = Millis(v, "idle-limit");
            else if (key == "login-lifetime")
                c.loginLifetime = Millis(v, "login-lifetime");
            else if (key == "max-record-bytes")
                c.maxRecordBytes = v.get<std::size_t>();
            else if (key == "max-queued-bytes")
                c.maxQueuedBytes = v.get<std::size_t>();
            else if (key == "max-per-address")
                c.maxConnectionsPerAddress = v.get<int>();
            // Hostile peers and liveness.
            else if (key == "record-deadline")
                c.recordDeadline = Millis(v, "record-deadline");
            else if (key == "flood-control")
                c.flood.enabled = v.get<bool>();
            else if (key == "flood-lines-per-second")
                c.flood.linesPerSecond = v.get<double>();
            else if (key == "flood-line-burst")
                c.flood.lineBurst = v.get<double>();
            else if (key == "flood-bytes-per-second")
                c.flood.bytesPerSecond = v.get<double>();
            else if (key == "flood-byte-burst")
                c.flood.byteBurst = v.get<double>();
            else if (key == "flood-cut-after")
                c.flood.cutAfter = Millis(v, "flood-cut-after");
            else if (key == "keepalive-idle")
                c.keepAlive.idle = std::chrono::seconds(v.get<int>());
            else if (key == "keepalive-interval")
                c.keepAlive.interval = std::chrono::seconds(v.get<int>());
            else if (key == "keepalive-probes")
                c.keepAlive.probes = v.get<int>();
            else if (key == "portal-on-join")
                c.portalOnJoin = v.get<std::string>();
            else if (key == "server-list-on-join")
                c.serverListOnJoin = v.get<std::vector<std::string>>();
            else if (key == "pwhash") {
                const auto level = v.get<std::string>();
                if (level == "interactive") {
                    c.pwhashOps = crypto_pwhash_OPSLIMIT_INTERACTIVE;
                    c.pwhashMem = crypto_pwhash_MEMLIMIT_INTERACTIVE;
                } else if (level == "min") {
                    c.pwhashOps = crypto_pwhash_OPSLIMIT_MIN;
                    c.pwhashMem = crypto_pwhash_MEMLIMIT_MIN;
                } else {
                    throw ConfigError("\"pwhash\" must be \"interactive\" or \"min\"");
                }
            } else if (key == "rooms") {
                c.rooms.clear();
                for (const auto& r : v) {
                    PermanentRoomConfig room;
                    room.name = r.at("name").get<std::string>();
                    const auto marker = r.value("marker", std::string(" "));
                    if (marker.size() != 1)
                        throw ConfigError("a room's \"marker\" is one character");
                    room.marker = marker[0];
                    if (r.contains("live-show")) room.liveShow = ParseLiveShow(r.at("live-show"));
                    c.rooms.push_back(std::move(room));
                }
            } else {
                throw ConfigError("unknown configuration key \"" + key + "\"");
            }
        }
    } catch (const Json::exception& e) {
        throw ConfigError(std::string("bad value in configuration: ") + e.what());
    }
}

void LoadConfigFile(const std::filesystem::path& file, ServerConfig& config) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ConfigError("cannot read configuration file " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    ApplyConfigText(text.str(), std::filesystem::absolute(file).parent_path(), config);
}

std::string ExpandWeb(const std::string& text, const std::string& webBase) {
    std::string out;
    static constexpr std::string_view kToken = "{web}";
    std::size_t pos = 0;
    while (true) {
        const auto hit = text.find(kToken, pos);
        if (hit == std::string::npos) break;
        out.append(text, pos, hit - pos);
        out.append(webBase);
        pos = hit + kToken.size();
    }
    out.append(text, pos);
    return out;
}

void ValidateConfig(const ServerConfig& c) {
    if (c.roomCapacity < 1) throw ConfigError("room capacity must be at least 1");
    if (c.maxConnectionsPerAddress < 1) throw ConfigError("max-per-address must be at least 1");
    if (c.maxRecordBytes < 64) throw ConfigError("max-record-bytes must be at least 64");
    if (c.maxQueuedBytes < c.maxRecordBytes) {
        throw ConfigError("max-queued-bytes must be at least max-record-bytes");
    }
    // Hostile peers and liveness.
    if (c.flood.linesPerSecond <= 0 || c.flood.bytesPerSecond <= 0)
        throw ConfigError("flood rates must be above 0 (\"flood-control\": false turns it off)");
    if (c.flood.lineBurst < 1 || c.flood.byteBurst < 1)
        throw ConfigError("flood bursts must be at least 1");
    if (c.keepAlive.idle.count() < 0 || c.keepAlive.interval.count() < 1 || c.keepAlive.probes < 1)
        throw ConfigError("keepalive-idle must be >= 0, keepalive-interval and -probes >= 1");
    for (std::size_t i = 0; i < c.rooms.size(); ++i) {
        for (std::size_t k = 0; k < i; ++k) {
            if (c.rooms[i].name == c.rooms[k].name) {
                throw ConfigError("room \"" + c.rooms[i].name + "\" is configured twice");
            }
        }
    }
}

std::string DefaultDbPath() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::filesystem::path(home) / ".local" / "share";
    } else {
        base = ".";
    }
    return (base / "zorvid" / "accounts.db").string();
}

}  // namespace zorvid
