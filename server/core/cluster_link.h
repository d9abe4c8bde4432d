#pragma once

#include <optional>
#include <string>

#include "net/cmsg.h"
#include "server/core/relay_frames.h"

namespace zorvid {

// How a node of a cluster reaches the others. The service's sockets and rooms call it; the
// cluster (NATS and PostgreSQL) implements it. Without one, zorvid is a single node.
class ClusterLink {
public:
    enum class Claim { Ok, Taken, Failed };

    virtual ~ClusterLink() = default;

    // Queues `frame` for loop `toLoop` of `node`. It leaves with everything else loop
    // `fromLoop` queued for that place during this turn, in order. Call on `fromLoop`.
    virtual void Send(int fromLoop, const std::string& node, int toLoop, const Frame& frame) = 0;

    // The rest run on worker threads and return within the bus's or database's time-out.
    // A login is valid on every node once this returns true.
    virtual bool ShareLogin(const std::string& name, const std::string& address) = 0;
    // A free chat port and the room's name, for the whole cluster.
    virtual Claim ClaimRoom(const std::string& name, int& port) = 0;
    virtual void ReleaseRoom(const std::string& name) = 0;
    // True once everything sent before has reached the other nodes.
    virtual bool Flush() = 0;
    // A service request about a room on `node`, answered there; the outer nothing when
    // it did not answer in time. With `wantReply` false it is only sent.
    virtual std::optional<std::optional<CMsg>> Forward(const std::string& node, const CMsg& request,
                                                       const std::string& address,
                                                       bool wantReply) = 0;
};

}  // namespace zorvid
