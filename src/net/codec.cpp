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

// A cursor over the bytes received so far. Every read checks what is present first; a
// failed read says whether more bytes are needed (and how many in all, at least) or the
// encoding is bad, and nothing is ever sized from a claimed length before those bytes are
// there. Reads count the bytes they examine.
class Cursor {
public:
    Cursor(std::string_view bytes, std::size_t pos, std::size_t max, std::uint64_t& examined)
        : bytes_(bytes), pos_(pos), max_(max), examined_(examined) {}

    std::size_t pos() const { return pos_; }
    std::size_t Remaining() const { return bytes_.size() - pos_; }

    DecodeResult Failure() const {
        if (why_ != nullptr) return {DecodeStatus::Malformed, 0, 0, why_};
        return {DecodeStatus::NeedMore, 0, needed_, ""};
    }

    bool Fail(const char* why) {
        why_ = why;
        return false;
    }

    bool Require(std::size_t n) {
        if (n > max_ || pos_ + n > max_) return Fail("value exceeds the maximum record size");
        if (bytes_.size() - pos_ < n) {
            needed_ = pos_ + n;
            return false;
        }
        return true;
    }

    bool RequireCount(std::size_t count, std::size_t minBytesEach) {
        if (count > (max_ - pos_) / minBytesEach)
            return Fail("count exceeds the maximum record size");
        return true;
    }

    bool Bytes(std::size_t n, std::string_view& v) {
        if (!Require(n)) return false;
        v = bytes_.substr(pos_, n);
        pos_ += n;
        examined_ += n;
        return true;
    }

    bool U8(std::uint8_t& v) {
        std::string_view b;
        if (!Bytes(1, b)) return false;
        v = static_cast<std::uint8_t>(b[0]);
        return true;
    }
    bool U16(std::uint16_t& v) {
        std::string_view b;
        if (!Bytes(2, b)) return false;
        const auto* p = reinterpret_cast<const unsigned char*>(b.data());
        v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
        return true;
    }
    bool U32(std::uint32_t& v) {
        std::string_view b;
        if (!Bytes(4, b)) return false;
        const auto* p = reinterpret_cast<const unsigned char*>(b.data());
        v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
            (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        return true;
    }

    bool Count(std::size_t& n) {
        std::uint16_t w = 0;
        if (!U16(w)) return false;
        if (w != 0xFFFF) {
            n = w;
            return true;
        }
        std::uint32_t v = 0;
        if (!U32(v)) return false;
        n = v;
        return true;
    }

    // A string's length prefix: its body's size in bytes, and whether the body is UTF-16LE.
    bool StringHead(std::size_t& bytes, bool& wide) {
        std::uint8_t b = 0;
        if (!U8(b)) return false;
        wide = false;
        if (b != 0xFF) {
            bytes = b;
            return true;
        }
        std::uint16_t w = 0;
        if (!U16(w)) return false;
        if (w == 0xFFFE) {
            // The length of a wide string, read again by the narrow rules; a second wide
            // marker is not a valid encoding.
            std::size_t units = 0;
            if (!U8(b)) return false;
            units = b;
            if (b == 0xFF) {
                if (!U16(w)) return false;
                if (w == 0xFFFE) return Fail("second wide-string marker");
                units = w;
                if (w == 0xFFFF) {
                    std::uint32_t v = 0;
                    if (!U32(v)) return false;
                    units = v;
                }
            }
            if (units > max_ / 2) return Fail("wide string too long");
            bytes = units * 2;
            wide = true;
            return true;
        }
        bytes = w;
        if (w == 0xFFFF) {
            std::uint32_t v = 0;
            if (!U32(v)) return false;
            bytes = v;
        }
        return true;
    }

    bool StringBody(std::size_t bytes, bool wide, std::string& out) {
        std::string_view body;
        if (!Bytes(bytes, body)) return false;
        if (wide) {
            out = Utf16LeToUtf8(body);
        } else {
            out.assign(body);
        }
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t pos_;
    std::size_t max_;
    std::uint64_t& examined_;
    std::size_t needed_ = 0;
    const char* why_ = nullptr;
};

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

DecodeResult ValueDecoder::NextMsg(std::string_view bytes) {
    if (step_ == Step::Start || step_ == Step::BareHead || step_ == Step::BareBody) {
        Reset();
        msg_.Reset();
        step_ = Step::Code1;
    }
    return Run(bytes);
}

DecodeResult ValueDecoder::NextBareString(std::string_view bytes) {
    if (step_ != Step::BareHead && step_ != Step::BareBody) {
        Reset();
        bare_.clear();
        step_ = Step::BareHead;
    }
    return Run(bytes);
}

void ValueDecoder::Reset() {
    step_ = Step::Start;
    pos_ = count_ = done_ = stringBytes_ = 0;
    wide_ = false;
}

DecodeResult ValueDecoder::Run(std::string_view bytes) {
    // Input shorter than what was decoded already breaks the caller's promise; wait for it.
    if (bytes.size() < pos_) return {DecodeStatus::NeedMore, 0, pos_ + 1, ""};
    Cursor c(bytes, pos_, limits_.maxRecordBytes, examined_);
    const auto stop = [&] {
        const DecodeResult r = c.Failure();
        if (r.status == DecodeStatus::Malformed) Reset();
        return r;
    };
    const auto finish = [&] {
        const std::size_t consumed = c.pos();
        Reset();
        return DecodeResult{DecodeStatus::Complete, consumed, 0, ""};
    };
    // Each step reads one field whole, or nothing: the next call resumes at the field that
    // ran short, so at most one field's length prefix is ever read again.
    while (true) {
        std::uint32_t v = 0;
        switch (step_) {
            case Step::Start:
                return {DecodeStatus::NeedMore, 0, 1, ""};
            case Step::Code1:
                if (!c.U32(v)) return stop();
                msg_.code1 = static_cast<std::int32_t>(v);
                step_ = Step::Code2;
                break;
            case Step::Code2:
                if (!c.U32(v)) return stop();
                msg_.code2 = static_cast<std::int32_t>(v);
                step_ = Step::TextHead;
                break;
            case Step::TextHead:
                if (!c.StringHead(stringBytes_, wide_)) return stop();
                step_ = Step::TextBody;
                break;
            case Step::TextBody:
                if (!c.StringBody(stringBytes_, wide_, msg_.text)) return stop();
                step_ = Step::Number;  // number travels before list
                break;
            case Step::Number:
                if (!c.U32(v)) return stop();
                msg_.number = static_cast<std::int32_t>(v);
                step_ = Step::ListCount;
                break;
            case Step::ListCount:
                // Each string takes at least one byte: a count beyond the limit cannot be valid.
                if (!c.Count(count_) || !c.RequireCount(count_, 1)) return stop();
                // Reserve only what the bytes already present can hold, never the claimed count.
                msg_.list.reserve(std::min(count_, c.Remaining()));
                done_ = 0;
                step_ = count_ > 0 ? Step::ItemHead : Step::ArrayCount;
                break;
            case Step::ItemHead:
                if (!c.StringHead(stringBytes_, wide_)) return stop();
                step_ = Step::ItemBody;
                break;
            case Step::ItemBody: {
                std::string_view body;
                if (!c.Bytes(stringBytes_, body)) return stop();
                if (wide_) {
                    msg_.list.push_back(Utf16LeToUtf8(body));
                } else {
                    msg_.list.emplace_back(body);
                }
                step_ = ++done_ < count_ ? Step::ItemHead : Step::ArrayCount;
                break;
            }
            case Step::ArrayCount:
                if (!c.Count(count_)) return stop();
                step_ = Step::ArrayBody;
                break;
            case Step::ArrayBody: {
                std::string_view raw;
                if (!c.Bytes(4 * count_, raw)) return stop();
                msg_.array.resize(count_);
                for (std::size_t i = 0; i < count_; ++i) {
                    const auto* p = reinterpret_cast<const unsigned char*>(raw.data() + 4 * i);
                    msg_.array[i] = static_cast<std::int32_t>(
                        static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                        (static_cast<std::uint32_t>(p[2]) << 16) |
                        (static_cast<std::uint32_t>(p[3]) << 24));
                }
                return finish();
            }
            case Step::BareHead:
                if (!c.StringHead(stringBytes_, wide_)) return stop();
                step_ = Step::BareBody;
                break;
            case Step::BareBody:
                if (!c.StringBody(stringBytes_, wide_, bare_)) return stop();
                return finish();
        }
        pos_ = c.pos();
    }
}

DecodeResult DecodeMsg(std::string_view bytes, CMsg& out, const DecodeLimits& limits) {
    ValueDecoder decoder(limits);
    decoder.Msg() = std::move(out);  // reuses the caller's storage
    const DecodeResult r = decoder.NextMsg(bytes);
    out = std::move(decoder.Msg());
    return r;
}

DecodeResult DecodeBareString(std::string_view bytes, std::string& out,
                              const DecodeLimits& limits) {
    ValueDecoder decoder(limits);
    decoder.BareString() = std::move(out);
    const DecodeResult r = decoder.NextBareString(bytes);
    out = std::move(decoder.BareString());
    return r;
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
