#pragma once

#include <asio.hpp>
#include <memory>
#include <vector>

namespace zorvid {

class Connection;

// Connections with output queued during this turn of the event loop. One handler per turn
// writes them all, so a connection that receives many records in a turn (a room line from
// each of several senders, say) sends them with one system call, and queueing a record costs
// no handler of its own.
class OutputBatch {
public:
    explicit OutputBatch(asio::io_context& io) : io_(io) {}
    OutputBatch(const OutputBatch&) = delete;
    OutputBatch& operator=(const OutputBatch&) = delete;

    // `c` writes what it has queued once the current handlers are done.
    void Add(std::shared_ptr<Connection> c);

private:
    void Run();

    asio::io_context& io_;
    std::vector<std::shared_ptr<Connection>> due_;
    std::vector<std::shared_ptr<Connection>> running_;
    bool posted_ = false;
};

}  // namespace zorvid
