#include "net/codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "allocation_probe.h"
#include "net/protocol.h"

using zorvi::DecodeStatus;

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

std::string Le32(std::uint32_t v) {
    return Bytes({int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF), int(v >> 24)});
}

// Every proper prefix must ask for more (and never for less than it has), the whole
// encoding must decode to `expected` consuming exactly its bytes.
void ExpectDecodesPiecewise(const std::string& wire, const CMsg& expected) {
    CMsg out;
    for (std::size_t n = 0; n < wire.size(); ++n) {
        const auto r = zorvi::DecodeMsg(std::string_view(wire).substr(0, n), out);
        ASSERT_EQ(r.status, DecodeStatus::NeedMore) << "prefix " << n;
        ASSERT_GT(r.needed, n) << "prefix " << n;
        ASSERT_LE(r.needed, wire.size()) << "prefix " << n;
    }
    const auto r = zorvi::DecodeMsg(wire, out);
    ASSERT_EQ(r.status, DecodeStatus::Complete);
    EXPECT_EQ(r.consumed, wire.size());
    EXPECT_EQ(out, expected);
}

}  // namespace

TEST(RecordVectors, ByteExactEncodings) {
    struct Vector {
        const char* name;
        CMsg msg;
        std::string wire;
    };
    CMsg find(14, 52);
    find.text = "ann";
    CMsg channels(13, 29);
    channels.list = {"+Lobby"};
    channels.array = {3};
    CMsg negative(-1, 0x7FFFFFFF);
    negative.number = -2;
    negative.array = {-1};
    const Vector vectors[] = {
        {"closing notice", CMsg(14, 25),
         Bytes({0x0E, 0, 0, 0, 0x19, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
        {"find request", find,
         Bytes({0x0E, 0, 0, 0, 0x34, 0, 0, 0, 3, 'a', 'n', 'n', 0, 0, 0, 0, 0, 0, 0, 0})},
        {"channel list reply", channels,
         Bytes({0x0D, 0, 0,   0,   0x1D, 0,   0,   0,   0, 0, 0, 0, 0, 1,
                0,    6, '+', 'L', 'o',  'b', 'b', 'y', 1, 0, 3, 0, 0, 0})},
        {"signed values", negative,
         Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0,    0xFE, 0xFF,
                0xFF, 0xFF, 0,    0,    1,    0,    0xFF, 0xFF, 0xFF, 0xFF})},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.name);
        EXPECT_EQ(zorvi::EncodeMsg(v.msg), v.wire);
        ExpectDecodesPiecewise(v.wire, v.msg);
    }
    EXPECT_EQ(zorvi::EncodeMsg(CMsg(14, 25)).size(), 17u);
    EXPECT_EQ(zorvi::EncodeMsg(find).size(), 20u);
    EXPECT_EQ(zorvi::EncodeMsg(channels).size(), 28u);
}

// Every other test names its codes from the catalogue, so only this one notices an edit
// that would change the bytes every peer puts on the wire.
TEST(RecordCatalogue, NamesCarryTheFixedCodes) {
    const std::pair<std::int32_t, std::int32_t> codes[] = {
        {code1::kReply, 13},
        {code1::kRequest, 14},
        {code1::kUserAction, 15},
        {code2::kNoAnswer, 0},
        {code2::kPrivateMessage, 10},
        {code2::kChatLine, 11},
        {code2::kLeave, 12},
        {code2::kSoundEffect, 20},
        {code2::kImageEffect, 21},
        {code2::kImageEffectAlt, 22},
        {code2::kRoomLookUp, 23},
        {code2::kClosing, 25},
        {code2::kVersionCheck, 26},
        {code2::kLogin, 27},
        {code2::kChannelListRequest, 28},
        {code2::kChannelList, 29},
        {code2::kPersonEntered, 32},
        {code2::kPersonLeft, 33},
        {code2::kPortalAddress, 34},
        {code2::kBeep, 35},
        {code2::kLoginRefused, 40},
        {code2::kLoginAccepted, 41},
        {code2::kCreateRoom, 42},
        {code2::kGiveOwnership, 43},
        {code2::kRemoveRoom, 44},
        {code2::kKick, 45},
        {code2::kRoomNameTaken, 46},
        {code2::kLiveShowRequest, 47},
        {code2::kLiveShowStart, 48},
        {code2::kOwnerChanged, 51},
        {code2::kFindUser, 52},
        {code2::kDeliverToUser, 53},
        {code2::kServerList, 54},
        {code2::kLiveShowPlaylist, 55},
        {zorvi::kClientVersion, 4},
        {zorvi::kDefaultLoginPort, 2999},
        {zorvi::kDefaultServicePort, 5111},
    };
    for (const auto& [named, fixed] : codes) EXPECT_EQ(named, fixed);
    EXPECT_EQ(zorvi::EncodeBareString(zorvi::kJoinFull), Bytes({4, 'F', 'U', 'L', 'L'}));
    EXPECT_EQ(zorvi::EncodeBareString(zorvi::kJoinNameExists),
              Bytes({9, 'N', 'A', 'M', 'E', 'E', 'X', 'I', 'S', 'T'}));
}

TEST(RecordVectors, StringLengthBoundaries) {
    struct Boundary {
        std::size_t length;
        std::string prefix;
    };
    const Boundary boundaries[] = {
        {0, Bytes({0})},
        {254, Bytes({0xFE})},
        {255, Bytes({0xFF, 0xFF, 0x00})},
        {65533, Bytes({0xFF, 0xFD, 0xFF})},
        {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
        {70000, Bytes({0xFF, 0xFF, 0xFF}) + Le32(70000)},
    };
    for (const auto& b : boundaries) {
        SCOPED_TRACE(b.length);
        const std::string s(b.length, 'x');
        const std::string bare = zorvi::EncodeBareString(s);
        ASSERT_EQ(bare.size(), b.prefix.size() + b.length);
        EXPECT_EQ(bare.substr(0, b.prefix.size()), b.prefix);

        std::string back;
        const auto r = zorvi::DecodeBareString(bare, back);
        ASSERT_EQ(r.status, DecodeStatus::Complete);
        EXPECT_EQ(r.consumed, bare.size());
        EXPECT_EQ(back, s);

        // In a record, the text sits right after the two codes.
        CMsg m(15, 11);
        m.text = s;
        const std::string wire = zorvi::EncodeMsg(m);
        EXPECT_EQ(wire.substr(8, b.prefix.size()), b.prefix);
        CMsg out;
        ASSERT_EQ(zorvi::DecodeMsg(wire, out).status, DecodeStatus::Complete);
        EXPECT_EQ(out, m);
    }
}

TEST(RecordVectors, ListCountBoundaries) {
    for (std::size_t count : {std::size_t{65534}, std::size_t{65535}}) {
        SCOPED_TRACE(count);
        CMsg m(13, 29);
        m.list.assign(count, "r");
        m.array.assign(count, 7);
        const std::string wire = zorvi::EncodeMsg(m);
        // code1, code2, empty text, number: the list count starts at byte 13.
        const std::string expectedCount = count < 0xFFFF
                                              ? Bytes({int(count & 0xFF), int(count >> 8)})
                                              : Bytes({0xFF, 0xFF}) + Le32(count);
        EXPECT_EQ(wire.substr(13, expectedCount.size()), expectedCount);
        const std::size_t arrayAt = 13 + expectedCount.size() + 2 * count;
        EXPECT_EQ(wire.substr(arrayAt, expectedCount.size()), expectedCount);
        EXPECT_EQ(wire.size(), arrayAt + expectedCount.size() + 4 * count);
        CMsg out;
        const auto r = zorvi::DecodeMsg(wire, out);
        ASSERT_EQ(r.status, DecodeStatus::Complete);
        EXPECT_EQ(out, m);
    }
}

TEST(RecordVectors, WideStringsBecomeUtf8) {
    // "Aé€😀" as UTF-16LE, then an unpaired high surrogate.
    const std::string utf16 =
        Bytes({'A', 0, 0xE9, 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8});
    const std::string bare = Bytes({0xFF, 0xFE, 0xFF, 6}) + utf16;
    std::string out;
    const auto r = zorvi::DecodeBareString(bare, out);
    ASSERT_EQ(r.status, DecodeStatus::Complete);
    EXPECT_EQ(r.consumed, bare.size());
    EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD");

    // A wide text inside a record, with a length written in the long form.
    const std::string longWide(300 * 2, '\0');
    std::string record = Bytes({0x0D, 0, 0, 0, 0x0B, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}) +
                         longWide + Le32(5) + Bytes({0, 0, 0, 0});
    CMsg m;
    ASSERT_EQ(zorvi::DecodeMsg(record, m).status, DecodeStatus::Complete);
    EXPECT_EQ(m.text, std::string(300, '\0'));
    EXPECT_EQ(m.number, 5);

    // A second wide marker is not a valid encoding.
    EXPECT_EQ(zorvi::DecodeBareString(Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF}), out).status,
              DecodeStatus::Malformed);
}

TEST(RecordDecoding, RecordsFollowEachOther) {
    CMsg a(13, 11);
    a.list = {"alice: hi", "bob: hello"};
    CMsg b(13, 32);
    b.text = "carol";
    b.number = 1;
    const std::string stream =
        zorvi::EncodeMsg(a) + zorvi::EncodeMsg(b) + zorvi::EncodeMsg(CMsg(13, 25)).substr(0, 5);
    CMsg out;
    auto r = zorvi::DecodeMsg(stream, out);
    ASSERT_EQ(r.status, DecodeStatus::Complete);
    EXPECT_EQ(out, a);
    std::string_view rest = std::string_view(stream).substr(r.consumed);
    r = zorvi::DecodeMsg(rest, out);
    ASSERT_EQ(r.status, DecodeStatus::Complete);
    EXPECT_EQ(out, b);
    rest.remove_prefix(r.consumed);
    r = zorvi::DecodeMsg(rest, out);
    EXPECT_EQ(r.status, DecodeStatus::NeedMore);
    EXPECT_EQ(r.needed, 8u);

    // A record decoded into a used one keeps nothing of the old contents.
    ASSERT_EQ(zorvi::DecodeMsg(zorvi::EncodeMsg(CMsg(14, 25)), out).status, DecodeStatus::Complete);
    EXPECT_EQ(out, CMsg(14, 25));
}

TEST(RecordDecoding, HostileLengthsRejectedWithoutAllocating) {
    const std::string codes = Bytes({0x0D, 0, 0, 0, 0x0B, 0, 0, 0});
    const std::string huge = Le32(0xFFFFFFFFu);
    struct Hostile {
        const char* name;
        std::string wire;
        DecodeStatus expected;
    };
    // The probe itself sees a large allocation.
    allocation_probe::Reset();
    std::string big(1u << 20, 'b');
    ASSERT_GE(allocation_probe::Largest(), big.size());

    const Hostile cases[] = {
        {"text of 4 GiB", codes + Bytes({0xFF, 0xFF, 0xFF}) + huge + "abc",
         DecodeStatus::Malformed},
        {"wide text of 2 G units", codes + Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF}) + huge,
         DecodeStatus::Malformed},
        {"list of 4 G strings", codes + Bytes({0}) + Le32(0) + Bytes({0xFF, 0xFF}) + huge,
         DecodeStatus::Malformed},
        {"array of 4 G numbers", codes + Bytes({0}) + Le32(0) + Bytes({0, 0, 0xFF, 0xFF}) + huge,
         DecodeStatus::Malformed},
        // Within the limit but not yet arrived: wait for the bytes, reserve nothing.
        {"text of 15 MiB announced", codes + Bytes({0xFF, 0xFF, 0xFF}) + Le32(15u << 20) + "abc",
         DecodeStatus::NeedMore},
        {"array of 3 M numbers announced",
         codes + Bytes({0}) + Le32(0) + Bytes({0, 0, 0xFF, 0xFF}) + Le32(3u << 20),
         DecodeStatus::NeedMore},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMsg out;
        allocation_probe::Reset();
        const auto r = zorvi::DecodeMsg(c.wire, out);
        EXPECT_LT(allocation_probe::Largest(), 4096u);
        ASSERT_EQ(r.status, c.expected);
        if (r.status == DecodeStatus::Malformed) {
            EXPECT_STRNE(r.error, "");
        }
    }

    // A smaller limit is honoured to the byte.
    zorvi::DecodeLimits tight;
    const std::string wire = zorvi::EncodeMsg(CMsg(14, 25));
    tight.maxRecordBytes = wire.size();
    CMsg out;
    EXPECT_EQ(zorvi::DecodeMsg(wire, out, tight).status, DecodeStatus::Complete);
    tight.maxRecordBytes = wire.size() - 1;
    EXPECT_EQ(zorvi::DecodeMsg(wire, out, tight).status, DecodeStatus::Malformed);
    std::string s;
    tight.maxRecordBytes = 100;
    EXPECT_EQ(
        zorvi::DecodeBareString(zorvi::EncodeBareString(std::string(100, 'y')), s, tight).status,
        DecodeStatus::Malformed);
}

// The decoder a reader keeps across reads: fed one more byte at a time, it answers what a
// decode from the first byte answers, and reads each byte about once.
TEST(ValueDecoder, ResumedByteByByteAnswersAsAWholeDecodeAndReadsEachByteOnce) {
    CMsg longText(15, 11);
    longText.text.assign(70'000, 'x');  // the 4-byte length form
    CMsg emptyStrings(13, 11);
    emptyStrings.list.assign(5'000, std::string());
    CMsg mixed(13, 54);
    mixed.text = "carol";
    mixed.number = -7;
    mixed.list = {"a", std::string(300, 'b'), ""};
    mixed.array = {1, -2, 3};
    const std::string wide =
        Bytes({0x0D, 0, 0, 0, 0x0B, 0, 0, 0, 0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01}) +
        std::string(600, '\0') + Le32(5) + Bytes({1, 0, 0xFF, 0xFE, 0xFF, 1, 0xE9, 0, 0, 0});
    std::vector<std::string> wires = {zorvi::EncodeMsg(longText), zorvi::EncodeMsg(emptyStrings),
                                      zorvi::EncodeMsg(mixed), wide};
    zorvi::ValueDecoder decoder;
    for (const std::string& one : wires) {
        // Two values back to back, the second begun: the first must end exactly at its end.
        const std::string wire = one + one.substr(0, 3);
        CMsg whole;
        ASSERT_EQ(zorvi::DecodeMsg(one, whole).status, DecodeStatus::Complete);
        const std::uint64_t examinedBefore = decoder.Examined();
        for (std::size_t n = 0; n < one.size(); ++n) {
            CMsg scratch;
            const auto fromScratch = zorvi::DecodeMsg(std::string_view(wire).substr(0, n), scratch);
            const auto resumed = decoder.NextMsg(std::string_view(wire).substr(0, n));
            ASSERT_EQ(resumed.status, DecodeStatus::NeedMore) << "prefix " << n;
            ASSERT_EQ(resumed.needed, fromScratch.needed) << "prefix " << n;
            if (n > 2000) n += 97;  // the long bodies: fewer steps, same behaviour
        }
        const auto r = decoder.NextMsg(wire);
        ASSERT_EQ(r.status, DecodeStatus::Complete);
        EXPECT_EQ(r.consumed, one.size());
        EXPECT_EQ(decoder.Msg(), whole);
        // Only a length prefix split between reads is read again.
        EXPECT_LE(decoder.Examined() - examinedBefore, one.size() + 32);
    }

    // A bare string after records; a malformed value, then a good one after Reset.
    const std::string bare = zorvi::EncodeBareString(std::string(400, 'n'));
    for (std::size_t n = 0; n < bare.size(); ++n)
        ASSERT_EQ(decoder.NextBareString(std::string_view(bare).substr(0, n)).status,
                  DecodeStatus::NeedMore);
    ASSERT_EQ(decoder.NextBareString(bare).status, DecodeStatus::Complete);
    EXPECT_EQ(decoder.BareString(), std::string(400, 'n'));
    zorvi::ValueDecoder tight(zorvi::DecodeLimits{64});
    EXPECT_EQ(tight.NextBareString(bare.substr(0, 3)).status, DecodeStatus::Malformed);
    tight.Reset();
    EXPECT_EQ(tight.NextBareString(zorvi::EncodeBareString("ok")).status, DecodeStatus::Complete);
    EXPECT_EQ(tight.BareString(), "ok");
}
