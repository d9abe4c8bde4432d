#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorvid::test {

// An event loop on a thread of its own, as a server's loop would be.
class LoopThread {
public:
    using Ms = std::chrono::milliseconds;

    LoopThread() : guard_(asio::make_work_guard(io)), thread_([this] { io.run(); }) {}
    LoopThread(const LoopThread&) = delete;
    LoopThread& operator=(const LoopThread&) = delete;
    ~LoopThread() { Stop(); }

    void Stop() {
        guard_.reset();
        io.stop();
        if (thread_.joinable()) thread_.join();
    }

    // Runs `fn` on the loop; false when it did not finish within `timeout`.
    bool Run(std::function<void()> fn, Ms timeout = Ms(10000)) {
        auto done = std::make_shared<std::promise<void>>();
        auto finished = done->get_future();
        asio::post(io, [fn = std::move(fn), done] {
            fn();
            done->set_value();
        });
        return finished.wait_for(timeout) == std::future_status::ready;
    }

    asio::io_context io;

private:
    asio::executor_work_guard<asio::io_context::executor_type> guard_;
    std::thread thread_;
};

// What callbacks reported, in order, from any thread; waits have deadlines.
class EventLog {
public:
    using Ms = std::chrono::milliseconds;

    void Add(std::string event) {
        std::lock_guard lock(mu_);
        events_.push_back(std::move(event));
        cv_.notify_all();
    }

    std::size_t Count(const std::string& event) const {
        std::lock_guard lock(mu_);
        return CountLocked(event);
    }

    // True once `event` has been reported `times` times, false at the deadline.
    bool Await(const std::string& event, std::size_t times = 1, Ms timeout = Ms(10000)) {
        std::unique_lock lock(mu_);
        return cv_.wait_for(lock, timeout, [&] { return CountLocked(event) >= times; });
    }

    std::vector<std::string> Events() const {
        std::lock_guard lock(mu_);
        return events_;
    }

private:
    std::size_t CountLocked(const std::string& event) const {
        std::size_t n = 0;
        for (const auto& e : events_) n += e == event;
        return n;
    }

    mutable std::mutex mu_;
    std::condition_variable cv_;
    std::vector<std::string> events_;
};

}  // namespace zorvid::test
