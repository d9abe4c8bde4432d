#include "net/codec.h"

#include <algorithm>
#include <cstring>

namespace zorvi {
namespace {

void PutU16(std::string& out, std::uint16_t v) {
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    out.append(b, 2);
}

void PutU32(std::string& out, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    out.append(b, 4);
}

void PutCount(std::string& out, std::size_t n) {
    if (n < 0xFFFF) {
        PutU16(out, static_cast<std::uint16_t>(n));
    } else {
        PutU16(out, 0xFFFF);
        PutU32(out, static_cast<std::uint32_t>(n));
    }
}

void PutString(std::string& out, std::string_view s) {
    const std::size_t len = s.size();
    if (len < 0xFF) {
        out.push_back(static_cast<char>(len));
    } else if (len < 0xFFFE) {
        out.push_back(static_cast<char>(0xFF));
        PutU16(out, static_cast<std::uint16_t>(len));
    } else {
        out.push_back(static_cast<char>(0xFF));
        PutU16(out, 0xFFFF);
        PutU32(out, static_cast<std::uint32_t>(len));
    }
    out.append(s);
}

// A cursor over the bytes received so far. Every read checks what is present first;
// running short raises NeedMore with the total the value needs at least, and nothing is
// ever sized from a claimed length before those bytes are there.
class Reader {
public:
    Reader(std::string_view bytes, const DecodeLimits& limits) : bytes_(bytes), limits_(limits) {}

    struct Short {
        std::size_t needed;
    };
    struct Bad {
        const char* why;
    };

    std::size_t pos() const { return pos_; }
    std::size_t Remaining() const { return bytes_.size() - pos_; }

    void Require(std::size_t n) {
        if (n > limits_.maxRecordBytes || pos_ + n > limits_.maxRecordBytes) {
            throw Bad{"value exceeds the maximum record size"};
        }
        if (bytes_.size() - pos_ < n) throw Short{pos_ + n};
    }

    void RequireCount(std::size_t count, std::size_t minBytesEach) {
        if (count > (limits_.maxRecordBytes - pos_) / minBytesEach) {
            throw Bad{"count exceeds the maximum record size"};
        }
    }

    std::uint8_t U8() {
        Require(1);
        return static_cast<std::uint8_t>(bytes_[pos_++]);
    }
    std::uint16_t U16() {
        Require(2);
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos_);
        pos_ += 2;
        return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    }
    std::uint32_t U32() {
        Require(4);
        const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos_);
        pos_ += 4;
        return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
               (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    }
    std::string_view Bytes(std::size_t n) {
        Require(n);
        std::string_view v = bytes_.substr(pos_, n);
        pos_ += n;
        return v;
    }

    std::size_t Count() {
        const std::uint16_t w = U16();
        if (w != 0xFFFF) return w;
        return U32();
    }

    void String(std::string& out) {
        std::size_t len = U8();
        if (len == 0xFF) {
            const std::uint16_t w = U16();
            if (w == 0xFFFE) {
                const std::size_t units = WideLength();
                if (units > limits_.maxRecordBytes / 2) throw Bad{"wide string too long"};
                out = Utf16LeToUtf8(Bytes(units * 2));
                return;
            }
            len = (w == 0xFFFF) ? U32() : w;
        }
        out.assign(Bytes(len));
    }

private:
    // The length of a wide string, read again by the narrow rules; a second wide marker
    // is not a valid encoding.
    std::size_t WideLength() {
        std::size_t len = U8();
        if (len != 0xFF) return len;
        const std::uint16_t w = U16();
        if (w == 0xFFFE) throw Bad{"second wide-string marker"};
        return (w == 0xFFFF) ? U32() : w;
    }

    std::string_view bytes_;
    const DecodeLimits& limits_;
    std::size_t pos_ = 0;
};

template <typename Body>
DecodeResult Decode(std::string_view bytes, const DecodeLimits& limits, Body&& body) {
    Reader r(bytes, limits);
    try {
        body(r);
        return {DecodeStatus::Complete, r.pos(), 0, ""};
    } catch (const Reader::Short& s) {
        return {DecodeStatus::NeedMore, 0, s.needed, ""};
    } catch (const Reader::Bad& b) {
        return {DecodeStatus::Malformed, 0, 0, b.why};
    }
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

void AppendMsg(const CMsg& msg, std::string& out) {
    PutU32(out, static_cast<std::uint32_t>(msg.code1));
    PutU32(out, static_cast<std::uint32_t>(msg.code2));
    PutString(out, msg.text);
    PutU32(out, static_cast<std::uint32_t>(msg.number));  // number travels before list
    PutCount(out, msg.list.size());
    for (const auto& s : msg.list) PutString(out, s);
    PutCount(out, msg.array.size());
    for (std::int32_t v : msg.array) PutU32(out, static_cast<std::uint32_t>(v));
}

std::string EncodeMsg(const CMsg& msg) {
    std::string out;
    AppendMsg(msg, out);
    return out;
}

void AppendBareString(std::string_view s, std::string& out) { PutString(out, s); }

std::string EncodeBareString(std::string_view s) {
    std::string out;
    PutString(out, s);
    return out;
}

DecodeResult DecodeMsg(std::string_view bytes, CMsg& out, const DecodeLimits& limits) {
    out.Reset();
    return Decode(bytes, limits, [&out](Reader& r) {
        out.code1 = static_cast<std::int32_t>(r.U32());
        out.code2 = static_cast<std::int32_t>(r.U32());
        r.String(out.text);
        out.number = static_cast<std::int32_t>(r.U32());
        const std::size_t strings = r.Count();
        // Each string takes at least one byte: a count beyond the limit cannot be valid.
        r.RequireCount(strings, 1);
        // Reserve only what the bytes already present can hold, never the claimed count.
        out.list.reserve(std::min(strings, r.Remaining()));
        for (std::size_t i = 0; i < strings; ++i) r.String(out.list.emplace_back());
        const std::size_t n = r.Count();
        const std::string_view raw = r.Bytes(4 * n);
        out.array.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const auto* p = reinterpret_cast<const unsigned char*>(raw.data() + 4 * i);
            out.array[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                                     (static_cast<std::uint32_t>(p[1]) << 8) |
                                                     (static_cast<std::uint32_t>(p[2]) << 16) |
                                                     (static_cast<std::uint32_t>(p[3]) << 24));
        }
    });
}

DecodeResult DecodeBareString(std::string_view bytes, std::string& out,
                              const DecodeLimits& limits) {
    out.clear();
    return Decode(bytes, limits, [&out](Reader& r) { r.String(out); });
}

std::string Utf16LeToUtf8(std::string_view utf16le) {
    std::string out;
    out.reserve(utf16le.size());
    const std::size_t units = utf16le.size() / 2;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(utf16le[2 * i]) |
                                          (static_cast<unsigned char>(utf16le[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const std::uint16_t lo = unit(i + 1);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000u + ((u - 0xD800u) << 10) + (lo - 0xDC00u));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

}  // namespace zorvi
