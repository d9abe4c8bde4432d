// zorvid: the reference Zorvi service on one event loop, with its web site beside it.
#include <sodium.h>

#include <CLI/CLI.hpp>
#include <asio.hpp>
#include <filesystem>
#include <iostream>
#include <string>

#include "net/protocol.h"
#include "server/core/account_store.h"
#include "server/core/event_log.h"
#include "server/core/server_config.h"
#include "server/core/web_site.h"
#include "server/core/zorvi_server.h"

namespace {

std::string DefaultSiteDir() {
    if (std::filesystem::is_directory(KV_SITE_BUILD_DIR)) return KV_SITE_BUILD_DIR;
    return KV_SITE_INSTALL_DIR;
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
    std::string configFile, bind, chatPorts, db, site;
    int loginPort = -2, servicePort = -2, httpPort = -2, maxPerAddress = 0, capacity = 0;
    bool openRegistration = false, noLoginCheck = false, noFloodControl = false;
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
    app.add_option("--db", db, "account database file (default $XDG_DATA_HOME/zorvid/accounts.db)");
    app.add_option("--site", site, "folder of the generated web site");
    app.add_option("--max-per-address", maxPerAddress, "connections allowed per peer address");
    app.add_option("--room-capacity", capacity, "people allowed in one room");
    app.add_flag("--open-registration", openRegistration,
                 "the first login of an unknown name creates the account");
    app.add_flag("--no-login-check", noLoginCheck,
                 "let any name join and create rooms without a login (load tests only)");
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
        if (openRegistration) config.openRegistration = true;
        if (noLoginCheck) config.requireLoginToJoin = false;
        if (noFloodControl) config.flood.enabled = false;
        if (config.dbPath.empty()) config.dbPath = zorvid::DefaultDbPath();
        if (config.siteDir.empty()) config.siteDir = DefaultSiteDir();
        zorvid::ValidateConfig(config);
    } catch (const std::exception& e) {
        std::cerr << "zorvid: " << e.what() << '\n';
        return 2;
    }

    zorvid::EventLog log(&std::cerr);
    try {
        zorvid::AccountStore accounts(config.dbPath, config.pwhashOps, config.pwhashMem,
                                      config.maxNameBytes);
        zorvid::WebSite web(config.siteDir, accounts, log);
        int boundHttp = -1;
        if (config.httpPort >= 0) {
            boundHttp = web.Start(config.bindAddress, config.httpPort);
            const std::string host =
                config.bindAddress == "0.0.0.0" ? "127.0.0.1" : config.bindAddress;
            ExpandAll(config, "http://" + host + ":" + std::to_string(boundHttp));
        }

        asio::io_context io(1);
        zorvid::ZorviServer server(io, config, accounts, log);
        server.Start();

        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](asio::error_code ec, int signal) {
            if (ec) return;
            log.Line("signal " + std::to_string(signal) + " received");
            server.Stop();
        });
        log.Line("accounts in " + config.dbPath + ", site from " + config.siteDir +
                 (config.openRegistration ? ", open registration" : ", registered accounts only"));
        log.Line("listening login=" + std::to_string(server.LoginPort()) + " service=" +
                 std::to_string(server.ServicePort()) + " http=" + std::to_string(boundHttp));
        io.run();
        web.Stop();
        log.Line("stopped");
    } catch (const std::exception& e) {
        log.Line(std::string("fatal: ") + e.what());
        return 1;
    }
    return 0;
}
