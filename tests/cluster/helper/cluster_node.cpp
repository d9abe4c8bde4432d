// One cluster node's liveness in a process of its own: cluster_node URL NAME INTERVAL_MS
// TIMEOUT_MS. Prints "id ID" once on the bus, then "joined ID" and "lost ID" as they come;
// ends by itself after a minute in case nobody kills it.
#include <asio/io_context.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "server/cluster/nats_bus.h"
#include "server/cluster/node_watch.h"

int main(int argc, char** argv) {
    using namespace zorvid::cluster;
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s URL NAME INTERVAL_MS TIMEOUT_MS\n", argv[0]);
        return 2;
    }
    try {
        auto bus = NatsBus::Connect(argv[1], argv[2]);
        asio::io_context io;
        NodeWatch::Settings settings{std::chrono::milliseconds(std::atoi(argv[3])),
                                     std::chrono::milliseconds(std::atoi(argv[4]))};
        const auto say = [](const char* what, const std::string& id) {
            std::printf("%s %s\n", what, id.c_str());
            std::fflush(stdout);
        };
        NodeWatch watch(*bus, io, settings,
                        {[&](const std::string& id) { say("joined", id); },
                         [&](const std::string& id) { say("lost", id); }});
        say("id", bus->NodeId());
        io.run_for(std::chrono::minutes(1));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cluster_node: %s\n", e.what());
        return 1;
    }
    return 0;
}
