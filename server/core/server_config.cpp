#include "server/core/server_config.h"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "net/protocol.h"
#include "server/core/pg_pool.h"
#include "server/core/proxy_header.h"

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
    if (p.empty()) return {};  // no file
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

bool ParsePlaintext(const std::string& text) {
    if (text == "allow") return true;
    if (text == "refuse") return false;
    throw ConfigError("plaintext must be \"allow\" or \"refuse\", not \"" + text + "\"");
}

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
                c.dbPath = v.is_string() && IsPostgresUri(v.get<std::string>())
                               ? v.get<std::string>()
                               : Path(v, baseDir, "db");
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
            // Admission limits.
            else if (key == "max-connections")
                c.maxConnections = v.get<int>();
            else if (key == "connect-rate")
                c.connectRatePerAddress = v.get<double>();
            else if (key == "connect-burst")
                c.connectBurstPerAddress = v.get<int>();
            else if (key == "max-requests")
                c.maxRequestsPerConnection = v.get<int>();
            else if (key == "login-free-failures")
                c.loginFreeFailuresPerName = v.get<int>();
            else if (key == "login-free-failures-address")
                c.loginFreeFailuresPerAddress = v.get<int>();
            else if (key == "login-backoff")
                c.loginBackoff = Millis(v, "login-backoff");
            else if (key == "login-backoff-max")
                c.loginBackoffMax = Millis(v, "login-backoff-max");
            else if (key == "tls-cert")
                c.tlsCert = Path(v, baseDir, "tls-cert");
            else if (key == "tls-key")
                c.tlsKey = Path(v, baseDir, "tls-key");
            else if (key == "plaintext")
                c.plainAllowed = ParsePlaintext(v.get<std::string>());
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
            // The web site's bounds and the password hashing bound.
            else if (key == "web-max-connections")
                c.web.maxConnections = v.get<unsigned>();
            else if (key == "web-max-per-address")
                c.web.maxPerAddress = v.get<unsigned>();
            else if (key == "web-max-header-bytes")
                c.web.maxHeaderBytes = v.get<std::size_t>();
            else if (key == "web-max-headers")
                c.web.maxHeaders = v.get<std::size_t>();
            else if (key == "web-max-body-bytes")
                c.web.maxBodyBytes = v.get<std::size_t>();
            else if (key == "web-request-timeout")
                c.web.requestTimeout = Millis(v, "web-request-timeout");
            else if (key == "hash-threads")
                c.hash.concurrency = v.get<unsigned>();
            // Event loops.
            else if (key == "threads")
                c.threads = v.get<int>();
            else if (key == "hash-queue")
                c.hash.queueBound = v.get<std::size_t>();
            else if (key == "hash-wait")
                c.hash.maxWait = Millis(v, "hash-wait");
            // PostgreSQL accounts.
            else if (key == "db-timeout")
                c.dbTimeout = Millis(v, "db-timeout");
            // The cluster.
            else if (key == "cluster-node-timeout")
                c.clusterNodeTimeout = Millis(v, "cluster-node-timeout");
            else if (key == "cluster")
                c.cluster = v.get<std::string>();
            else if (key == "node")
                c.nodeName = v.get<std::string>();
            // Behind a TCP proxy.
            else if (key == "proxy-from")
                c.proxyFrom = v.get<std::vector<std::string>>();
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

int ServerConfig::EventLoops() const {
    if (threads > 0) return threads;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void ValidateConfig(const ServerConfig& c) {
    if (c.threads < 0 || c.threads > 1024) throw ConfigError("threads must be 0 to 1024");
    // Every node listens on every chat port, and permanent rooms take the range's first ones.
    if (!c.cluster.empty()) {
        if (c.EphemeralChatPorts() ||
            c.chatPortLast - c.chatPortFirst + 1 <= static_cast<int>(c.rooms.size()))
            throw ConfigError("a cluster needs a chat-ports range with room for created rooms");
        if (c.clusterNodeTimeout <= std::chrono::milliseconds(1000))
            throw ConfigError("cluster-node-timeout must be longer than the 1 s heartbeat");
        if (c.dbPath.rfind("postgres", 0) != 0)
            throw ConfigError(
                "a cluster keeps its accounts in PostgreSQL: db must be a "
                "postgresql:// URI");
    }
    if (c.roomCapacity < 1) throw ConfigError("room capacity must be at least 1");
    if (c.maxConnectionsPerAddress < 1) throw ConfigError("max-per-address must be at least 1");
    if (c.maxConnections < 0 || c.connectRatePerAddress < 0 || c.connectBurstPerAddress < 0 ||
        c.maxRequestsPerConnection < 0 || c.loginFreeFailuresPerName < 0 ||
        c.loginFreeFailuresPerAddress < 0) {
        throw ConfigError("connection and login limits must be >= 0 (0 = off)");
    }
    if (c.connectRatePerAddress > 0 && c.connectBurstPerAddress < 1)
        throw ConfigError("connect-burst must be at least 1 while connect-rate is on");
    if (c.loginBackoffMax < c.loginBackoff)
        throw ConfigError("login-backoff-max must be at least login-backoff");
    if (c.maxRecordBytes < 64) throw ConfigError("max-record-bytes must be at least 64");
    if (c.maxQueuedBytes < c.maxRecordBytes) {
        throw ConfigError("max-queued-bytes must be at least max-record-bytes");
    }
    // The web site's bounds.
    if (c.web.maxConnections < 1 || c.web.maxPerAddress < 1) {
        throw ConfigError("web-max-connections and web-max-per-address must be at least 1");
    }
    if (c.web.maxHeaderBytes < 2048)
        throw ConfigError("web-max-header-bytes must be at least 2048");
    if (c.web.requestTimeout < std::chrono::milliseconds(100)) {
        throw ConfigError("web-request-timeout must be at least 0.1 seconds");
    }
    if (c.dbTimeout < std::chrono::milliseconds(100))
        throw ConfigError("db-timeout must be at least 0.1 seconds");
    if (c.tlsCert.empty() != c.tlsKey.empty()) {
        throw ConfigError("TLS needs both a certificate (tls-cert) and its key (tls-key)");
    }
    if (!c.plainAllowed && c.tlsCert.empty()) {
        throw ConfigError("plaintext \"refuse\" needs TLS (tls-cert and tls-key)");
    }
    // Hostile peers and liveness.
    if (c.flood.linesPerSecond <= 0 || c.flood.bytesPerSecond <= 0)
        throw ConfigError("flood rates must be above 0 (\"flood-control\": false turns it off)");
    if (c.flood.lineBurst < 1 || c.flood.byteBurst < 1)
        throw ConfigError("flood bursts must be at least 1");
    if (c.keepAlive.idle.count() < 0 || c.keepAlive.interval.count() < 1 || c.keepAlive.probes < 1)
        throw ConfigError("keepalive-idle must be >= 0, keepalive-interval and -probes >= 1");
    // Behind a TCP proxy.
    try {
        const ProxyPeers peers(c.proxyFrom);
    } catch (const std::invalid_argument& e) {
        throw ConfigError(e.what());
    }
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

// Key by key in the order of ApplyConfigText (an ordered object keeps that order).
std::string ConfigAsJson(const ServerConfig& c) {
    const auto seconds = [](std::chrono::milliseconds ms) -> nlohmann::ordered_json {
        if (ms.count() % 1000 == 0) return ms.count() / 1000;
        return static_cast<double>(ms.count()) / 1000.0;
    };
    nlohmann::ordered_json j = nlohmann::ordered_json::object();
    j["bind"] = c.bindAddress;
    j["login-port"] = c.loginPort;
    j["service-port"] = c.servicePort;
    j["http-port"] = c.httpPort;
    j["chat-ports"] = c.EphemeralChatPorts()
                          ? std::string("0")
                          : std::to_string(c.chatPortFirst) + "-" + std::to_string(c.chatPortLast);
    j["db"] = c.dbPath;
    j["site"] = c.siteDir;
    j["open-registration"] = c.openRegistration;
    j["require-login"] = c.requireLoginToJoin;
    j["min-version"] = c.minClientVersion;
    j["room-capacity"] = c.roomCapacity;
    j["created-room-marker"] = c.createdRoomMarker;
    j["empty-room-grace"] = seconds(c.emptyRoomGrace);
    j["handshake-timeout"] = seconds(c.handshakeTimeout);
    j["idle-limit"] = seconds(c.idleLimit);
    j["login-lifetime"] = seconds(c.loginLifetime);
    j["max-record-bytes"] = c.maxRecordBytes;
    j["max-queued-bytes"] = c.maxQueuedBytes;
    j["max-per-address"] = c.maxConnectionsPerAddress;
    j["max-connections"] = c.maxConnections;
    j["connect-rate"] = c.connectRatePerAddress;
    j["connect-burst"] = c.connectBurstPerAddress;
    j["max-requests"] = c.maxRequestsPerConnection;
    j["login-free-failures"] = c.loginFreeFailuresPerName;
    j["login-free-failures-address"] = c.loginFreeFailuresPerAddress;
    j["login-backoff"] = seconds(c.loginBackoff);
    j["login-backoff-max"] = seconds(c.loginBackoffMax);
    j["record-deadline"] = seconds(c.recordDeadline);
    j["flood-control"] = c.flood.enabled;
    j["flood-lines-per-second"] = c.flood.linesPerSecond;
    j["flood-line-burst"] = c.flood.lineBurst;
    j["flood-bytes-per-second"] = c.flood.bytesPerSecond;
    j["flood-byte-burst"] = c.flood.byteBurst;
    j["flood-cut-after"] = seconds(c.flood.cutAfter);
    j["keepalive-idle"] = c.keepAlive.idle.count();
    j["keepalive-interval"] = c.keepAlive.interval.count();
    j["keepalive-probes"] = c.keepAlive.probes;
    j["tls-cert"] = c.tlsCert;
    j["tls-key"] = c.tlsKey;
    j["plaintext"] = c.plainAllowed ? "allow" : "refuse";
    j["web-max-connections"] = c.web.maxConnections;
    j["web-max-per-address"] = c.web.maxPerAddress;
    j["web-max-header-bytes"] = c.web.maxHeaderBytes;
    j["web-max-headers"] = c.web.maxHeaders;
    j["web-max-body-bytes"] = c.web.maxBodyBytes;
    j["web-request-timeout"] = seconds(c.web.requestTimeout);
    j["hash-threads"] = c.hash.concurrency;
    j["threads"] = c.threads;
    j["hash-queue"] = c.hash.queueBound;
    j["hash-wait"] = seconds(c.hash.maxWait);
    j["db-timeout"] = seconds(c.dbTimeout);
    j["cluster-node-timeout"] = seconds(c.clusterNodeTimeout);
    j["cluster"] = c.cluster;
    j["node"] = c.nodeName;
    j["proxy-from"] = c.proxyFrom;
    j["portal-on-join"] = c.portalOnJoin;
    j["server-list-on-join"] = c.serverListOnJoin;
    // 0 is the built-in "interactive" cost.
    const bool minCost =
        c.pwhashOps == crypto_pwhash_OPSLIMIT_MIN && c.pwhashMem == crypto_pwhash_MEMLIMIT_MIN;
    j["pwhash"] = minCost ? "min" : "interactive";
    nlohmann::ordered_json rooms = nlohmann::ordered_json::array();
    for (const auto& room : c.rooms) {
        rooms.push_back({{"name", room.name},
                         {"marker", std::string(1, room.marker)},
                         {"live-show",
                          {{"code", room.liveShow.code2},
                           {"address", room.liveShow.address},
                           {"base", room.liveShow.base},
                           {"abstract", room.liveShow.abstract}}}});
    }
    j["rooms"] = rooms;
    return j.dump(2);
}

}  // namespace zorvid
