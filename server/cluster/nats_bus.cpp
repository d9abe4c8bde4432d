#include "server/cluster/nats_bus.h"

#include <nats/nats.h>

#include <asio/post.hpp>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <random>
#include <stdexcept>
#include <vector>

namespace zorvid::cluster {

// Owns the libnats connection; libnats's connection callbacks get a pointer to it, so it
// lives until the connection has reported itself closed. Subscriptions and watches keep it
// alive too, since their libnats objects refer to the connection.
struct NatsBus::Core {
    natsConnection* nc = nullptr;
    std::mutex mu;
    std::condition_variable closedCv;
    bool closed = false;
    std::vector<std::weak_ptr<ConnectionWatch::State>> watches;
    std::atomic<std::uint64_t> reconnects{0};

    ~Core() {
        if (nc) natsConnection_Destroy(nc);
    }
    void Notify(bool connected);
};

struct NatsBus::ConnectionWatch::State {
    State(std::shared_ptr<Core> c, asio::io_context& i, std::function<void(bool)> f)
        : core(std::move(c)), io(i), onChange(std::move(f)) {}
    std::shared_ptr<Core> core;
    asio::io_context& io;
    std::function<void(bool)> onChange;
    bool active = true;  // under core->mu; read on the loop after the handle is gone
};

// Messages wait here between libnats's delivery thread and the handler's loop. At most one
// drain task per subscription is posted, so the loop's own queue stays short and the order
// holds even on a loop run by several threads.
struct NatsBus::Subscription::State : std::enable_shared_from_this<State> {
    State(std::shared_ptr<Core> c, asio::io_context& i, Handler h, Limits l)
        : core(std::move(c)), io(i), handler(std::move(h)), limits(l) {}
    ~State() {
        if (sub) natsSubscription_Destroy(sub);
    }

    void Push(BusMessage message);
    void Drain();

    std::shared_ptr<Core> core;
    asio::io_context& io;
    Handler handler;
    Limits limits;
    natsSubscription* sub = nullptr;  // touched only through the handle

    mutable std::mutex mu;
    std::deque<BusMessage> queue;
    std::size_t queuedBytes = 0;
    bool drainPosted = false;
    bool active = true;
    std::uint64_t dropped = 0;
};

namespace {

using SubState = NatsBus::Subscription::State;

// Handlers get this many messages in a row before the loop serves other work.
constexpr int kDrainBatch = 64;
constexpr std::size_t kMaxSubjectBytes = 1024;

std::size_t Footprint(const BusMessage& m) {
    return m.subject.size() + m.reply.size() + m.data.size();
}

std::string Reason(natsStatus status) {
    natsStatus ignored;
    const char* detail = nats_GetLastError(&ignored);
    std::string text = natsStatus_GetText(status);
    if (detail && *detail && text != detail) text += std::string(" (") + detail + ")";
    return text;
}

std::string RandomIncarnation() {
    std::random_device device;
    const std::uint64_t value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

bool ValidNodeName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

void OnDisconnected(natsConnection*, void* closure) {
    static_cast<NatsBus::Core*>(closure)->Notify(false);
}

void OnReconnected(natsConnection*, void* closure) {
    auto* core = static_cast<NatsBus::Core*>(closure);
    ++core->reconnects;
    core->Notify(true);
}

void OnClosed(natsConnection*, void* closure) {
    auto* core = static_cast<NatsBus::Core*>(closure);
    std::lock_guard lock(core->mu);
    core->closed = true;
    core->closedCv.notify_all();
}

void OnMessage(natsConnection*, natsSubscription*, natsMsg* msg, void* closure) {
    const char* reply = natsMsg_GetReply(msg);
    BusMessage message{
        natsMsg_GetSubject(msg), reply ? reply : "",
        std::string(natsMsg_GetData(msg), static_cast<std::size_t>(natsMsg_GetDataLength(msg)))};
    natsMsg_Destroy(msg);
    (*static_cast<std::shared_ptr<SubState>*>(closure))->Push(std::move(message));
}

// libnats calls this once the subscription is closed and its last delivery has returned.
void OnSubscriptionComplete(void* closure) {
    delete static_cast<std::shared_ptr<SubState>*>(closure);
}

}  // namespace

bool ValidSubject(std::string_view subject, bool wildcards) {
    if (subject.empty() || subject.size() > kMaxSubjectBytes) return false;
    std::size_t tokenStart = 0;
    for (std::size_t i = 0; i <= subject.size(); ++i) {
        if (i == subject.size() || subject[i] == '.') {
            const auto token = subject.substr(tokenStart, i - tokenStart);
            if (token.empty()) return false;
            if (!wildcards && (token == "*" || token == ">")) return false;
            if (token == ">" && i != subject.size()) return false;
            tokenStart = i + 1;
        } else if (subject[i] <= ' ' || subject[i] > '~') {
            return false;
        }
    }
    return true;
}

void NatsBus::Core::Notify(bool connected) {
    std::lock_guard lock(mu);
    std::erase_if(watches, [](const auto& w) { return w.expired(); });
    for (const auto& weak : watches) {
        if (auto watch = weak.lock(); watch && watch->active) {
            asio::post(watch->io, [watch, connected] {
                bool active;
                {
                    std::lock_guard again(watch->core->mu);
                    active = watch->active;
                }
                if (active) watch->onChange(connected);
            });
        }
    }
}

void SubState::Push(BusMessage message) {
    const std::size_t bytes = Footprint(message);
    std::lock_guard lock(mu);
    if (!active) return;
    if (queue.size() >= static_cast<std::size_t>(limits.messages) ||
        queuedBytes + bytes > static_cast<std::size_t>(limits.bytes)) {
        ++dropped;
        return;
    }
    queuedBytes += bytes;
    queue.push_back(std::move(message));
    if (!drainPosted) {
        drainPosted = true;
        asio::post(io, [self = shared_from_this()] { self->Drain(); });
    }
}

void SubState::Drain() {
    // Another drain is posted when work is left, also when a handler throws.
    struct Repost {
        SubState* s;
        ~Repost() {
            std::lock_guard lock(s->mu);
            if (s->active && !s->queue.empty()) {
                asio::post(s->io, [self = s->shared_from_this()] { self->Drain(); });
            } else {
                s->drainPosted = false;
            }
        }
    } repost{this};
    for (int i = 0; i < kDrainBatch; ++i) {
        BusMessage message;
        {
            std::lock_guard lock(mu);
            if (!active || queue.empty()) return;
            message = std::move(queue.front());
            queue.pop_front();
            queuedBytes -= Footprint(message);
        }
        handler(message);
    }
}

NatsBus::Subscription::Subscription(Subscription&&) noexcept = default;

NatsBus::Subscription& NatsBus::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        Unsubscribe();
        state_ = std::move(other.state_);
    }
    return *this;
}

NatsBus::Subscription::~Subscription() { Unsubscribe(); }

void NatsBus::Subscription::Unsubscribe() {
    if (!state_) return;
    {
        std::lock_guard lock(state_->mu);
        state_->active = false;
        state_->queue.clear();
        state_->queuedBytes = 0;
    }
    if (state_->sub) {
        natsSubscription_Unsubscribe(state_->sub);
        natsSubscription_Destroy(state_->sub);
        state_->sub = nullptr;
    }
    // libnats may still hold the state until its completion call; the connection it
    // need not keep.
    state_->core.reset();
    state_.reset();
}

std::uint64_t NatsBus::Subscription::Dropped() const {
    if (!state_) return 0;
    std::uint64_t total;
    {
        std::lock_guard lock(state_->mu);
        total = state_->dropped;
    }
    int64_t inLibrary = 0;
    if (state_->sub && natsSubscription_GetDropped(state_->sub, &inLibrary) == NATS_OK) {
        total += static_cast<std::uint64_t>(inLibrary);
    }
    return total;
}

std::size_t NatsBus::Subscription::Pending() const {
    if (!state_) return 0;
    std::size_t total;
    {
        std::lock_guard lock(state_->mu);
        total = state_->queue.size();
    }
    int inLibrary = 0;
    if (state_->sub && natsSubscription_GetPending(state_->sub, &inLibrary, nullptr) == NATS_OK) {
        total += static_cast<std::size_t>(inLibrary);
    }
    return total;
}

NatsBus::ConnectionWatch::ConnectionWatch(ConnectionWatch&&) noexcept = default;

NatsBus::ConnectionWatch& NatsBus::ConnectionWatch::operator=(ConnectionWatch&& other) noexcept {
    if (this != &other) {
        ConnectionWatch gone(std::move(*this));
        state_ = std::move(other.state_);
    }
    return *this;
}

NatsBus::ConnectionWatch::~ConnectionWatch() {
    if (!state_) return;
    std::lock_guard lock(state_->core->mu);
    state_->active = false;
}

std::unique_ptr<NatsBus> NatsBus::Connect(const std::string& url, const std::string& nodeName,
                                          Settings settings) {
    if (!ValidNodeName(nodeName)) {
        throw std::invalid_argument("node name \"" + nodeName +
                                    "\" must be 1 to 64 letters, digits, '_' or '-'");
    }
    std::string nodeId = nodeName + "-" + RandomIncarnation();

    natsOptions* raw = nullptr;
    if (natsOptions_Create(&raw) != NATS_OK) throw std::runtime_error("NATS: out of memory");
    std::unique_ptr<natsOptions, void (*)(natsOptions*)> opts(raw, natsOptions_Destroy);

    auto core = std::make_shared<Core>();
    natsStatus s = natsOptions_SetURL(raw, url.c_str());
    const auto set = [&s](natsStatus next) {
        if (s == NATS_OK) s = next;
    };
    set(natsOptions_SetName(raw, nodeId.c_str()));
    set(natsOptions_SetTimeout(raw, settings.connectTimeout.count()));
    set(natsOptions_SetPingInterval(raw, settings.pingInterval.count()));
    set(natsOptions_SetMaxPingsOut(raw, settings.maxPingsOut));
    set(natsOptions_SetAllowReconnect(raw, true));
    set(natsOptions_SetMaxReconnect(raw, INT_MAX));
    set(natsOptions_SetReconnectWait(raw, settings.reconnectWait.count()));
    set(natsOptions_SetReconnectBufSize(raw, settings.reconnectBufferBytes));
    set(natsOptions_SetWriteDeadline(raw, settings.writeDeadline.count()));
    // Each publication is written at once. libnats's own flusher waits a millisecond to
    // gather more; the callers already gather a loop turn's frames into one message, and
    // that millisecond would be most of a line's way from one node to another.
    set(natsOptions_SetSendAsap(raw, true));
    set(natsOptions_SetFailRequestsOnDisconnect(raw, true));
    set(natsOptions_SetMaxPendingMsgs(raw, settings.pendingMessages));
    // A delivery thread per subscription would not scale to one subscription per room.
    set(natsOptions_UseGlobalMessageDelivery(raw, true));
    set(natsOptions_SetDisconnectedCB(raw, OnDisconnected, core.get()));
    set(natsOptions_SetReconnectedCB(raw, OnReconnected, core.get()));
    set(natsOptions_SetClosedCB(raw, OnClosed, core.get()));
    if (s != NATS_OK) throw std::runtime_error("NATS options for " + url + ": " + Reason(s));

    s = natsConnection_Connect(&core->nc, raw);
    if (s != NATS_OK) {
        core->nc = nullptr;
        throw std::runtime_error("cannot connect to NATS at " + url + ": " + Reason(s));
    }
    return std::unique_ptr<NatsBus>(
        new NatsBus(std::move(core), nodeName, std::move(nodeId), settings));
}

NatsBus::NatsBus(std::shared_ptr<Core> core, std::string nodeName, std::string nodeId,
                 Settings settings)
    : core_(std::move(core)),
      nodeName_(std::move(nodeName)),
      nodeId_(std::move(nodeId)),
      settings_(settings) {}

NatsBus::~NatsBus() {
    // Draining delivers what has arrived and sends what is queued, then closes; a
    // connection that is away cannot drain and is closed at once.
    if (natsConnection_DrainTimeout(core_->nc, settings_.drainTimeout.count()) != NATS_OK) {
        natsConnection_Close(core_->nc);
    }
    const auto awaitClosed = [this](Ms timeout) {
        std::unique_lock lock(core_->mu);
        return core_->closedCv.wait_for(lock, timeout, [this] { return core_->closed; });
    };
    if (awaitClosed(settings_.drainTimeout + Ms(1000))) return;
    natsConnection_Close(core_->nc);
    if (awaitClosed(Ms(1000))) return;
    // libnats may still call back into the core: keep it for the rest of the process
    // rather than wait longer or free it under the library.
    new std::shared_ptr<Core>(core_);
}

bool NatsBus::Publish(std::string_view subject, std::string_view data) {
    if (!ValidSubject(subject) || data.size() > INT_MAX) return false;
    const std::string subj(subject);
    return natsConnection_Publish(core_->nc, subj.c_str(), data.data(),
                                  static_cast<int>(data.size())) == NATS_OK;
}

bool NatsBus::Flush(Ms timeout) {
    return natsConnection_FlushTimeout(core_->nc, timeout.count()) == NATS_OK;
}

NatsBus::Subscription NatsBus::Subscribe(std::string_view subject, asio::io_context& io,
                                         Handler handler) {
    return Subscribe(subject, io, std::move(handler),
                     Limits{settings_.pendingMessages, settings_.pendingBytes});
}

NatsBus::Subscription NatsBus::Subscribe(std::string_view subject, asio::io_context& io,
                                         Handler handler, Limits limits) {
    if (!ValidSubject(subject, /*wildcards=*/true)) {
        throw std::invalid_argument("not a NATS subject: \"" + std::string(subject) + "\"");
    }
    if (limits.messages <= 0 || limits.bytes <= 0) {
        throw std::invalid_argument("a subscription's limits must be positive");
    }
    auto state = std::make_shared<SubState>(core_, io, std::move(handler), limits);
    auto* closure = new std::shared_ptr<SubState>(state);
    const std::string subj(subject);
    natsStatus s =
        natsConnection_Subscribe(&state->sub, core_->nc, subj.c_str(), OnMessage, closure);
    if (s != NATS_OK) {
        state->sub = nullptr;
        delete closure;
        throw std::runtime_error("cannot subscribe to " + subj + ": " + Reason(s));
    }
    s = natsSubscription_SetOnCompleteCB(state->sub, OnSubscriptionComplete, closure);
    if (s != NATS_OK) {
        // Closed under us: a delivery may still hold the closure, so it is not freed.
        Subscription gone(state);
        throw std::runtime_error("cannot subscribe to " + subj + ": " + Reason(s));
    }
    // libnats keeps its own bounded queue in front of ours; both count their drops.
    natsSubscription_SetPendingLimits(state->sub, limits.messages, limits.bytes);
    return Subscription(std::move(state));
}

std::optional<std::string> NatsBus::Request(std::string_view subject, std::string_view data,
                                            Ms timeout) {
    if (!ValidSubject(subject) || data.size() > INT_MAX || !Connected()) return std::nullopt;
    const std::string subj(subject);
    natsMsg* reply = nullptr;
    if (natsConnection_Request(&reply, core_->nc, subj.c_str(), data.data(),
                               static_cast<int>(data.size()), timeout.count()) != NATS_OK) {
        return std::nullopt;
    }
    std::string answer(natsMsg_GetData(reply),
                       static_cast<std::size_t>(natsMsg_GetDataLength(reply)));
    natsMsg_Destroy(reply);
    return answer;
}

bool NatsBus::Connected() const {
    return natsConnection_Status(core_->nc) == NATS_CONN_STATUS_CONNECTED;
}

std::uint64_t NatsBus::Reconnects() const { return core_->reconnects.load(); }

NatsBus::ConnectionWatch NatsBus::WatchConnection(asio::io_context& io,
                                                  std::function<void(bool)> onChange) {
    auto state = std::make_shared<ConnectionWatch::State>(core_, io, std::move(onChange));
    std::lock_guard lock(core_->mu);
    core_->watches.push_back(state);
    return ConnectionWatch(std::move(state));
}

}  // namespace zorvid::cluster
