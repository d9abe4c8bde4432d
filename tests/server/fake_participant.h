#pragma once

#include <string>
#include <vector>

#include "net/codec.h"
#include "server/core/participant.h"

namespace zorvid::test {

// Records what the room logic sends to one person, decoded.
class FakeParticipant : public Participant {
public:
    explicit FakeParticipant(std::string address = "127.0.0.1") : address_(std::move(address)) {}

    void Send(std::string_view bytes) override {
        std::string_view rest = bytes;
        while (!rest.empty()) {
            if (!expectBare_) {
                CMsg msg;
                const auto r = zorvi::DecodeMsg(rest, msg);
                if (r.status != zorvi::DecodeStatus::Complete) {
                    garbage = true;
                    return;
                }
                records.push_back(msg);
                rest.remove_prefix(r.consumed);
            } else {
                std::string s;
                const auto r = zorvi::DecodeBareString(rest, s);
                if (r.status != zorvi::DecodeStatus::Complete) {
                    garbage = true;
                    return;
                }
                bare.push_back(s);
                expectBare_ = false;
                rest.remove_prefix(r.consumed);
            }
        }
    }
    void Close() override { closed = true; }
    const std::string& PeerAddress() const override { return address_; }

    // Records with this code2, in arrival order.
    std::vector<CMsg> With(int code2) const {
        std::vector<CMsg> out;
        for (const auto& r : records) {
            if (r.code2 == code2) out.push_back(r);
        }
        return out;
    }
    void Clear() { records.clear(); }

    std::vector<CMsg> records;
    std::vector<std::string> bare;
    bool closed = false;
    bool garbage = false;

private:
    std::string address_;
    bool expectBare_ = true;  // the join answer comes first
};

class FakePorts : public ChatPortProvider {
public:
    int OpenChatPort(int = -1) override {
        if (refuse) return -1;
        open.push_back(next);
        return next++;
    }
    void CloseChatPort(int port) override { closedPorts.push_back(port); }

    int next = 7000;
    bool refuse = false;
    std::vector<int> open;
    std::vector<int> closedPorts;
};

}  // namespace zorvid::test
