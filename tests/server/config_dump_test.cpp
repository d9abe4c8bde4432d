// The configuration written out as JSON (zorvid --print-config) reads back unchanged.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "server/core/server_config.h"

namespace zorvid::test {
namespace {

TEST(ConfigAsJsonTest, EveryKeyFollowsTheConfigurationAndReadsBack) {
    ServerConfig changed;
    ApplyConfigText(R"({
        "bind": "127.0.0.9", "login-port": 3001, "service-port": 3002, "http-port": -1,
        "chat-ports": "7000-7010", "db": "/srv/a.db", "site": "/srv/site",
        "open-registration": true, "require-login": false, "min-version": 9,
        "room-capacity": 7, "created-room-marker": "*", "threads": 3, "empty-room-grace": 0.25,
        "handshake-timeout": 3, "idle-limit": 4, "login-lifetime": 5,
        "max-record-bytes": 128, "max-queued-bytes": 4096, "max-per-address": 3,
        "max-connections": 9, "connect-rate": 2.5, "connect-burst": 4, "max-requests": 5,
        "login-free-failures": 1, "login-free-failures-address": 2, "login-backoff": 0.5,
        "login-backoff-max": 9, "tls-cert": "c.pem", "tls-key": "k.pem", "plaintext": "refuse",
        "web-max-connections": 8, "web-max-per-address": 2, "web-max-header-bytes": 4096,
        "web-max-headers": 9, "web-max-body-bytes": 99, "web-request-timeout": 2,
        "hash-threads": 3, "hash-queue": 4, "hash-wait": 1.5, "record-deadline": 7,
        "db-timeout": 2,
        "cluster-node-timeout": 3, "cluster": "nats://127.0.0.1:4", "node": "n9",
        "proxy-from": ["127.0.0.8"],
        "flood-control": false, "flood-lines-per-second": 2, "flood-line-burst": 3,
        "flood-bytes-per-second": 999, "flood-byte-burst": 9999, "flood-cut-after": 8,
        "keepalive-idle": 11, "keepalive-interval": 12, "keepalive-probes": 3,
        "portal-on-join": "{web}/p", "server-list-on-join": ["a", "b"], "pwhash": "min",
        "rooms": [{"name": "Show", "marker": "+",
                   "live-show": {"code": 55, "address": "{web}/m.ogg", "base": "{web}/",
                                 "abstract": "x"}}]
    })",
                    "/", changed);
    const std::string dump = ConfigAsJson(changed);

    // Read back over the defaults, it gives the same configuration.
    ServerConfig readBack;
    ApplyConfigText(dump, "/", readBack);
    EXPECT_EQ(ConfigAsJson(readBack), dump);
    ASSERT_EQ(readBack.rooms.size(), 1u);
    EXPECT_EQ(readBack.rooms[0].liveShow.abstract, "x");
    EXPECT_EQ(readBack.emptyRoomGrace, std::chrono::milliseconds(250));

    // Each key carries its own field: every value differs from the default's dump.
    ServerConfig defaults;
    defaults.dbPath = "/d.db";
    defaults.siteDir = "/d";
    const auto before = nlohmann::json::parse(ConfigAsJson(defaults));
    const auto after = nlohmann::json::parse(dump);
    ASSERT_EQ(before.size(), after.size());
    for (const auto& [key, value] : after.items()) {
        EXPECT_NE(before.at(key), value) << key;
    }
}

}  // namespace
}  // namespace zorvid::test
