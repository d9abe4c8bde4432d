#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/protocol.h"
#include "server/core/hash_gate.h"
#include "server/core/peer_limits.h"
#include "server/core/web_site.h"

namespace zorvid {

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What a "+" room answers to a live-show request: {13, 48} with the address, or {13, 55}
// with the address and the optional base address and abstract.
struct LiveShowConfig {
    int code2 = code2::kLiveShowStart;
    std::string address;
    std::string base;
    std::string abstract;
};

struct PermanentRoomConfig {
    std::string name;
    char marker = ' ';
    LiveShowConfig liveShow;
};

struct ServerConfig {
    std::string bindAddress = "127.0.0.1";
    int loginPort = zorvi::kDefaultLoginPort;
    int servicePort = zorvi::kDefaultServicePort;
    int httpPort = 8080;       // -1: no web site
    int chatPortFirst = 6000;  // 0 with chatPortLast 0: every room gets an ephemeral port
    int chatPortLast = 6999;
    std::string dbPath;   // empty: $XDG_DATA_HOME/zorvid/accounts.db; or a postgresql:// URI
    std::string siteDir;  // empty: the site built with the program

    bool openRegistration = false;
    bool requireLoginToJoin = true;
    int minClientVersion = zorvi::kClientVersion;
    int roomCapacity = 50;
    std::size_t maxRoomNameBytes = 64;
    std::size_t maxNameBytes = 32;
    std::string createdRoomMarker = " ";

    std::chrono::milliseconds emptyRoomGrace{60'000};
    std::chrono::milliseconds handshakeTimeout{10'000};
    std::chrono::milliseconds idleLimit{0};  // a chat connection's silence; 0: unlimited
    std::chrono::milliseconds loginLifetime{24 * 3600'000};

    std::size_t maxRecordBytes = 64 * 1024;
    std::size_t maxQueuedBytes = 4 * 1024 * 1024;
    int maxConnectionsPerAddress = 64;

    // Admission limits against hostile peers (server/README.md, "Limits"); 0 switches
    // off the connection cap, the connection rate, the request limit and the back-off.
    int maxConnections = 4096;                     // open connections on all ports together
    double connectRatePerAddress = 5;              // new connections per second per address...
    int connectBurstPerAddress = 60;               // ...after a burst of this many
    int maxRequestsPerConnection = 16;             // records on one login or service connection
    int loginFreeFailuresPerName = 3;              // failed logins before a name backs off
    int loginFreeFailuresPerAddress = 10;          // failed logins before an address backs off
    std::chrono::milliseconds loginBackoff{1000};  // the first back-off; doubles
    std::chrono::milliseconds loginBackoffMax{300'000};  // the longest back-off
    // TLS on the login, service and chat ports and the web site: both files or neither.
    // Plain clients are still served unless plainAllowed is false.
    std::string tlsCert;
    std::string tlsKey;
    bool plainAllowed = true;
    // Hostile peers and liveness: every begun record's deadline, flood control on chat
    // connections, TCP keep-alive on all.
    std::chrono::milliseconds recordDeadline{10'000};
    FloodLimits flood;
    KeepAliveSettings keepAlive;

    // Argon2id cost; "interactive" by default, lowered in tests.
    unsigned long long pwhashOps = 0;
    std::size_t pwhashMem = 0;

    // The web site's request and connection bounds, and how many password hashes may run
    // and wait at once ("web-*" and "hash-*" keys).
    WebLimits web;
    HashLimits hash;

    // Event loops, each on a thread of its own; 0: one per core.
    int threads = 0;
    int EventLoops() const;

    // PostgreSQL accounts ("db" a postgresql:// URI): the bound on connecting, on each
    // statement and on a silent server ("db-timeout").
    std::chrono::milliseconds dbTimeout{5'000};

    std::vector<PermanentRoomConfig> rooms;
    std::string portalOnJoin;                   // {13, 34} on join when not empty
    std::vector<std::string> serverListOnJoin;  // {13, 54} on join when not empty

    // The cluster: how long another node may stay silent on the bus before it is taken as
    // dead ("cluster-node-timeout"; each node's heartbeat comes every second).
    std::chrono::milliseconds clusterNodeTimeout{5000};
    std::string cluster;   // nats://HOST:PORT joins a cluster; empty: a single node
    std::string nodeName;  // this node's name in the cluster; empty: the host name

    // Behind a TCP proxy: the peers (addresses) whose connections on the login, service and
    // chat ports start with a PROXY protocol v2 header naming the client ("proxy-from");
    // empty: none.
    std::vector<std::string> proxyFrom;

    bool EphemeralChatPorts() const { return chatPortFirst == 0 && chatPortLast == 0; }
};

// Reads a JSON configuration file over `config`; relative paths in it are taken from the
// file's folder. Throws ConfigError with a clear message on bad input.
void LoadConfigFile(const std::filesystem::path& file, ServerConfig& config);
void ApplyConfigText(const std::string& jsonText, const std::filesystem::path& baseDir,
                     ServerConfig& config);

// "allow" (true) or "refuse" (false); throws ConfigError.
bool ParsePlaintext(const std::string& text);

// "FIRST-LAST" or "0"; throws ConfigError.
void ParseChatPorts(const std::string& text, ServerConfig& config);

// Replaces every "{web}" in `text` by the web site's base address (no trailing slash).
std::string ExpandWeb(const std::string& text, const std::string& webBase);

// Checks the values that must make sense together; throws ConfigError.
void ValidateConfig(const ServerConfig& config);

std::string DefaultDbPath();

// Every configuration key with its value in `config`, as a JSON object that ApplyConfigText
// reads back to the same configuration: `zorvid --print-config`, and the manual page's list
// of keys and their defaults. A key added to ApplyConfigText belongs here too.
std::string ConfigAsJson(const ServerConfig& config);

}  // namespace zorvid
