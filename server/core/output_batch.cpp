#include "server/core/output_batch.h"

#include "server/core/connection.h"

namespace zorvid {

void OutputBatch::Add(std::shared_ptr<Connection> c) {
    due_.push_back(std::move(c));
    if (posted_) return;
    posted_ = true;
    asio::post(io_, [this] { Run(); });
}

void OutputBatch::Run() {
    posted_ = false;
    // Writing can close a connection, and the others in its room are told at once: what
    // that queues lands in due_ and gets a handler of its own.
    running_.swap(due_);
    for (auto& c : running_) c->Flush();
    running_.clear();
}

}  // namespace zorvid
