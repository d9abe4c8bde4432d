#include "server/core/relay_frames.h"

#include <cstring>

namespace zorvid {
namespace {

// Each message stays below the bus's own limit; a field longer than this is malformed.
constexpr std::uint32_t kMaxField = 8 * 1024 * 1024;

void PutU32(std::uint32_t v, std::string& out) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void PutU64(std::uint64_t v, std::string& out) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void PutField(std::string_view s, std::string& out) {
    PutU32(static_cast<std::uint32_t>(s.size()), out);
    out.append(s);
}

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}
    bool Done() const { return in_.empty(); }
    bool U8(std::uint8_t& v) {
        if (in_.empty()) return false;
        v = static_cast<std::uint8_t>(in_[0]);
        in_.remove_prefix(1);
        return true;
    }
    template <typename T>
    bool Uint(T& v) {
        if (in_.size() < sizeof(T)) return false;
        v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            v |= static_cast<T>(static_cast<std::uint8_t>(in_[i])) << (8 * i);
        in_.remove_prefix(sizeof(T));
        return true;
    }
    bool Field(std::string& out) {
        std::uint32_t n = 0;
        if (!Uint(n) || n > kMaxField || in_.size() < n) return false;
        out.assign(in_.substr(0, n));
        in_.remove_prefix(n);
        return true;
    }

private:
    std::string_view in_;
};

}  // namespace

void AppendFrame(const Frame& f, std::string& out) {
    out.push_back(static_cast<char>(f.kind));
    PutField(f.from.node, out);
    PutU32(static_cast<std::uint32_t>(f.from.loop), out);
    PutU64(f.from.conn, out);
    PutU32(static_cast<std::uint32_t>(f.port), out);
    PutField(f.text, out);
    PutField(f.address, out);
    PutField(f.bytes, out);
}

std::optional<std::vector<Frame>> DecodeFrames(std::string_view message) {
    std::vector<Frame> frames;
    Reader r(message);
    while (!r.Done()) {
        Frame f;
        std::uint8_t kind = 0;
        std::uint32_t loop = 0, port = 0;
        if (!r.U8(kind) || kind < 1 || kind > 7 || !r.Field(f.from.node) || !r.Uint(loop) ||
            !r.Uint(f.from.conn) || !r.Uint(port) || !r.Field(f.text) || !r.Field(f.address) ||
            !r.Field(f.bytes) || loop > 4096 || port > 65535) {
            return std::nullopt;
        }
        f.kind = static_cast<FrameKind>(kind);
        f.from.loop = static_cast<int>(loop);
        f.port = static_cast<int>(port);
        frames.push_back(std::move(f));
    }
    return frames;
}

}  // namespace zorvid
