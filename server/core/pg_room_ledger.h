#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/core/pg_pool.h"

namespace zorvid {

// The cluster's rooms: each name once, each chat port once, and the node that is the room's
// home. The database arbitrates, so two nodes creating rooms at once never share a name or
// a port. Node ids are the nodes' own strings. Calls throw DbError.
class PgRoomLedger {
public:
    enum class Outcome { Claimed, NameTaken, NoFreePort };
    struct ClaimResult {
        Outcome outcome;
        int port = 0;  // when Claimed
    };
    struct Row {
        std::string name;
        int port;
        std::string home;
    };

    explicit PgRoomLedger(std::shared_ptr<PgPool> pool);

    // Takes `name` with the lowest free port in firstPort..lastPort, homed at `node`.
    // Throws std::invalid_argument for a range outside 1..65535.
    ClaimResult Claim(const std::string& name, int firstPort, int lastPort,
                      const std::string& node);
    // Only the room's home releases it: a node that lost a room while it was cut off must not
    // free the name under the node that took it over. False: no such room homed at `node`.
    bool Release(const std::string& name, const std::string& node);
    bool SetHome(const std::string& name, const std::string& node);
    // Moves the room's home from `from` to `to` only if `from` still has it: of several
    // nodes taking over one room, exactly one succeeds.
    bool TakeOver(const std::string& name, const std::string& from, const std::string& to);
    std::vector<Row> Rooms();                                    // by port
    std::optional<std::string> HomeOf(const std::string& name);  // nothing: no such room

private:
    void Call(const PgPool::Work& work);

    std::shared_ptr<PgPool> pool_;
    std::atomic<bool> schemaReady_{false};
};

}  // namespace zorvid
