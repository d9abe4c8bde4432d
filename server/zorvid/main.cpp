// zorvid: the reference Zorvi service on one event loop per core, with its web site beside it.
#include <sodium.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <asio.hpp>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <string>

#include "net/protocol.h"
#include "server/cluster/nats_bus.h"
#include "server/cluster/node/cluster_node.h"
#include "server/core/account_store.h"
#include "server/core/event_log.h"
#include "server/core/journal_sink.h"
#include "server/core/pg_login_book.h"
#include "server/core/pg_pool.h"
#include "server/core/pg_room_ledger.h"
#include "server/core/server_config.h"
#include "server/core/web_site.h"
#include "server/core/zorvi_server.h"

namespace {

std::string DefaultSiteDir() {
    if (std::filesystem::is_directory(KV_SITE_BUILD_DIR)) return KV_SITE_BUILD_DIR;
    return KV_SITE_INSTALL_DIR;
}

// A node's name is one bus subject token: the configured one, else the host name, with
// anything but letters, digits, '_' and '-' made '_'.
std::string NodeName(const zorvid::ServerConfig& c) {
    std::string name = c.nodeName;
    if (name.empty()) {
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        name = host[0] ? host : "zorvid";
    }
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '-') ch = '_';
    }
    return name;
}

void ExpandAll(zorvid::ServerConfig& c, const std::string& web) {
    for (auto& room : c.rooms) {
        room.liveShow.address = zorvid::ExpandWeb(room.liveShow.address, web);
        room.liveShow.base = zorvid::ExpandWeb(room.liveShow.base, web);
    }
    c.portalOnJoin = zorvid::ExpandWeb(c.portalOnJoin, web);
    for (auto& line : c.serverListOnJoin) line = zorvid::ExpandWeb(line, web);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"zorvid: the reference Zorvi chat service (login, chat host, rooms, web site)"};
    std::string configFile, bind, chatPorts, db, site, tlsCert, tlsKey, plaintext;
    int loginPort = -2, servicePort = -2, httpPort = -2, maxPerAddress = 0, capacity = 0;
    bool openRegistration = false, noLoginCheck = false, noFloodControl = false;
    // Admission limits; -1 leaves the file's or the default value.
    int maxConnections = -1, connectBurst = -1, maxRequests = -1, threads = -1;
    double connectRate = -1, loginBackoff = -1;
    app.add_option("--config", configFile, "JSON configuration file (see server/README.md)");
    app.add_option("--bind", bind, "address to listen on (default 127.0.0.1)");
    app.add_option(
        "--login-port", loginPort,
        "login server port (default " + std::to_string(zorvi::kDefaultLoginPort) + "; 0 = any)");
    app.add_option("--service-port", servicePort,
                   "chat host service port (default " + std::to_string(zorvi::kDefaultServicePort) +
                       "; 0 = any)");
    app.add_option("--chat-ports", chatPorts,
                   "room chat ports FIRST-LAST, or 0 for ephemeral ports");
    app.add_option("--http-port", httpPort, "web site port (default 8080; 0 = any; -1 = none)");
    app.add_option("--db", db,
                   "account database: an SQLite file (default "
                   "$XDG_DATA_HOME/zorvid/accounts.db) or postgresql://USER@HOST:PORT/DATABASE");
    app.add_option("--site", site, "folder of the generated web site");
    std::string cluster, node;
    app.add_option("--cluster", cluster,
                   "nats://HOST:PORT: join the cluster of nodes that share that NATS server "
                   "(needs --db postgresql://...)");
    app.add_option("--node", node, "this node's name in the cluster (default: the host name)");
    app.add_option("--threads", threads,
                   "event loops, each on a thread of its own (default 0: one per core)");
    app.add_option("--max-per-address", maxPerAddress, "connections allowed per peer address");
    app.add_option("--room-capacity", capacity, "people allowed in one room");
    app.add_option("--max-connections", maxConnections,
                   "open connections allowed on all ports together (0 = no cap)");
    app.add_option("--connect-rate", connectRate,
                   "new connections per second per address after the burst (0 = no limit)");
    app.add_option("--connect-burst", connectBurst, "new connections per address let in at once");
    app.add_option("--max-requests", maxRequests,
                   "requests per login or service connection (0 = no limit)");
    app.add_option("--login-backoff", loginBackoff,
                   "seconds of the first back-off after failed logins; doubles (0 = none)");
    app.add_option("--tls-cert", tlsCert,
                   "PEM certificate chain: TLS on every port and HTTPS on the web site");
    app.add_option("--tls-key", tlsKey, "PEM private key of --tls-cert");
    app.add_option("--plaintext", plaintext,
                   "allow|refuse: whether plain clients are served when TLS is on (default allow)");
    app.add_flag("--open-registration", openRegistration,
                 "the first login of an unknown name creates the account");
    app.add_flag("--no-login-check", noLoginCheck,
                 "let any name join and create rooms without a login (load tests only)");
    // The configuration in effect, as a configuration file; the manual page takes its
    // list of keys and defaults from it.
    bool printConfig = false;
    app.add_flag("--print-config", printConfig,
                 "print the configuration in effect (every key, as JSON) and exit");
    app.add_flag("--no-flood-control", noFloodControl,
                 "no rate limit on chat connections (load tests only)");
    CLI11_PARSE(app, argc, argv);

    zorvid::ServerConfig config;
    try {
        if (!configFile.empty()) zorvid::LoadConfigFile(configFile, config);
        if (!bind.empty()) config.bindAddress = bind;
        if (loginPort != -2) config.loginPort = loginPort;
        if (servicePort != -2) config.servicePort = servicePort;
        if (httpPort != -2) config.httpPort = httpPort;
        if (!chatPorts.empty()) zorvid::ParseChatPorts(chatPorts, config);
        if (!db.empty()) config.dbPath = db;
        if (!site.empty()) config.siteDir = site;
        if (maxPerAddress > 0) config.maxConnectionsPerAddress = maxPerAddress;
        if (capacity > 0) config.roomCapacity = capacity;
        if (maxConnections >= 0) config.maxConnections = maxConnections;
        if (threads >= 0) config.threads = threads;
        if (!cluster.empty()) config.cluster = cluster;
        if (!node.empty()) config.nodeName = node;
        if (connectRate >= 0) config.connectRatePerAddress = connectRate;
        if (connectBurst >= 0) config.connectBurstPerAddress = connectBurst;
        if (maxRequests >= 0) config.maxRequestsPerConnection = maxRequests;
        if (loginBackoff >= 0)
            config.loginBackoff =
                std::chrono::milliseconds(static_cast<long long>(loginBackoff * 1000));
        if (!tlsCert.empty()) config.tlsCert = tlsCert;
        if (!tlsKey.empty()) config.tlsKey = tlsKey;
        if (!plaintext.empty()) config.plainAllowed = zorvid::ParsePlaintext(plaintext);
        if (openRegistration) config.openRegistration = true;
        if (noLoginCheck) config.requireLoginToJoin = false;
        if (noFloodControl) config.flood.enabled = false;
        if (config.dbPath.empty()) config.dbPath = zorvid::DefaultDbPath();
        if (config.siteDir.empty()) config.siteDir = DefaultSiteDir();
        zorvid::ValidateConfig(config);
        if (printConfig) {
            std::cout << zorvid::ConfigAsJson(config) << '\n';
            return 0;
        }
    } catch (const std::exception& e) {
        std::cerr << "zorvid: " << e.what() << '\n';
        return 2;
    }

    // Under systemd the events also go to the journal with their fields; stderr is left
    // out only when it is that same journal stream, so no event is logged twice.
    zorvid::JournalSink journal;
    const bool toJournal = zorvid::JournalSink::Available();
    zorvid::EventLog log(toJournal && zorvid::JournalSink::StderrIsJournal() ? nullptr : &std::cerr,
                         toJournal ? &journal : nullptr);
    try {
        const auto store =
            zorvid::OpenAccountStore(config.dbPath, config.pwhashOps, config.pwhashMem,
                                     config.maxNameBytes, config.hash, config.dbTimeout);
        zorvid::AccountStore& accounts = *store;
        zorvid::WebLimits webLimits = config.web;
        webLimits.formWorkers = accounts.Gate().Concurrency();
        webLimits.formQueue = config.hash.queueBound;
        zorvid::WebSite web(config.siteDir, accounts, log, webLimits);
        int boundHttp = -1;
        if (config.httpPort >= 0) {
            if (!config.tlsCert.empty()) web.UseTls(config.tlsCert, config.tlsKey);
            boundHttp = web.Start(config.bindAddress, config.httpPort);
            const std::string host =
                config.bindAddress == "0.0.0.0" ? "127.0.0.1" : config.bindAddress;
            const char* scheme = config.tlsCert.empty() ? "http://" : "https://";
            ExpandAll(config, scheme + host + ":" + std::to_string(boundHttp));
        }

        asio::io_context io(1);
        zorvid::ZorviServer server(io, config, accounts, log);
        // A node of a cluster: the bus first, so that a NATS server that is not there ends
        // the start with its reason.
        std::unique_ptr<zorvid::cluster::NatsBus> bus;
        std::unique_ptr<zorvid::PgRoomLedger> ledger;
        std::unique_ptr<zorvid::PgLoginBook> loginBook;
        std::unique_ptr<zorvid::cluster::ClusterNode> clusterNode;
        if (!config.cluster.empty()) {
            bus = zorvid::cluster::NatsBus::Connect(config.cluster, NodeName(config));
            auto pool = std::make_shared<zorvid::PgPool>(config.dbPath, config.dbTimeout, 2);
            ledger = std::make_unique<zorvid::PgRoomLedger>(pool);
            loginBook = std::make_unique<zorvid::PgLoginBook>(pool);
            clusterNode = std::make_unique<zorvid::cluster::ClusterNode>(
                server, *bus, *ledger, *loginBook, log, config.clusterNodeTimeout);
            server.UseCluster(*clusterNode, bus->NodeId());
        }
        server.Start();
        if (clusterNode) clusterNode->Join();

        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](asio::error_code ec, int signal) {
            if (ec) return;
            log.Line("signal " + std::to_string(signal) + " received");
            if (clusterNode) clusterNode->Leave();
            server.Stop();
        });
        const std::string where = zorvid::IsPostgresUri(config.dbPath)
                                      ? zorvid::RedactedUri(config.dbPath)
                                      : config.dbPath;
        log.Line("accounts in " + where + ", site from " + config.siteDir +
                 (config.openRegistration ? ", open registration" : ", registered accounts only"));
        log.Line(std::to_string(server.LoopCount()) + " event loops");
        log.Line("listening login=" + std::to_string(server.LoginPort()) + " service=" +
                 std::to_string(server.ServicePort()) + " http=" + std::to_string(boundHttp));
        io.run();
        server.WaitForLoops();
        web.Stop();
        log.Line("stopped");
    } catch (const std::exception& e) {
        log.Line(std::string("fatal: ") + e.what());
        return 1;
    }
    return 0;
}
