// The room logic driven directly, without sockets.
#include "server/core/chat_host.h"

#include <gtest/gtest.h>

#include "net/protocol.h"
#include "tests/server/fake_participant.h"

namespace zorvid::test {
namespace {

class ChatHostTest : public ::testing::Test {
protected:
    ChatHostTest() {
        config.rooms.push_back({"Lobby", 'a', {}});
        PermanentRoomConfig live{"Live Show", '+', {}};
        live.liveShow.address = "http://127.0.0.1:1/media/liveshow.ogg";
        config.rooms.push_back(live);
        config.roomCapacity = 3;
        config.emptyRoomGrace = std::chrono::seconds(60);
        config.portalOnJoin = "http://127.0.0.1:1/";
    }

    ChatHost& Host() {
        if (!host) {
            host = std::make_unique<ChatHost>(config, ports, log, [this] { return now; });
            EXPECT_TRUE(host->OpenPermanentRooms());
        }
        return *host;
    }

    CMsg Service(const CMsg& request, const std::string& address = "127.0.0.1") {
        auto reply = Host().HandleService(request, address);
        EXPECT_TRUE(reply.has_value());
        return reply.value_or(CMsg());
    }

    int CreateRoom(const std::string& name, const std::string& owner,
                   const std::string& address = "127.0.0.1") {
        CMsg req(code1::kReply, code2::kCreateRoom);
        req.text = name;
        req.list = {owner};
        const CMsg r = Service(req, address);
        EXPECT_TRUE(r.Is(code1::kReply, code2::kCreateRoom)) << r.code2;
        return r.number;
    }

    JoinAnswer Join(int port, const std::string& name, FakeParticipant& p) {
        Host().NoteLogin(name, p.PeerAddress());
        return Host().Join(port, name, p);
    }

    static CMsg Chat(int c1, int c2, std::string text, std::vector<std::string> list = {},
                     int number = 0) {
        CMsg m(c1, c2);
        m.text = std::move(text);
        m.list = std::move(list);
        m.number = number;
        return m;
    }

    ServerConfig config;
    FakePorts ports;
    EventLog log{nullptr};
    std::chrono::steady_clock::time_point now{std::chrono::seconds(1000)};
    std::unique_ptr<ChatHost> host;
};

TEST_F(ChatHostTest, ServiceRequestsAnswerAsTheCatalogueSays) {
    CMsg version(code1::kRequest, code2::kVersionCheck);
    version.number = 4;
    EXPECT_EQ(Service(version).number, 1);
    version.number = 3;
    const CMsg old = Service(version);
    EXPECT_TRUE(old.Is(code1::kReply, code2::kVersionCheck));
    EXPECT_EQ(old.number, 0);

    const CMsg list = Service(CMsg(code1::kRequest, code2::kChannelListRequest));
    ASSERT_TRUE(list.Is(code1::kReply, code2::kChannelList));
    EXPECT_EQ(list.list, (std::vector<std::string>{"aLobby", "+Live Show"}));
    EXPECT_EQ(list.array, (std::vector<std::int32_t>{0, 0}));

    const CMsg unknown = Service(Chat(code1::kRequest, code2::kRoomLookUp, "Nowhere"));
    EXPECT_FALSE(unknown.Is(code1::kReply, code2::kRoomLookUp));
    const CMsg lobby = Service(Chat(code1::kRequest, code2::kRoomLookUp, "Lobby"));
    ASSERT_TRUE(lobby.Is(code1::kReply, code2::kRoomLookUp));
    ASSERT_EQ(lobby.array.size(), 1u);
    EXPECT_EQ(lobby.array[0], ports.open[0]);

    // Creation: the creator owns it; a taken name answers {13, 46} with number 1.
    Host().NoteLogin("ann", "127.0.0.1");
    const int port = CreateRoom("Tea", "ann");
    EXPECT_GT(port, 0);
    const CMsg again = Service(Chat(code1::kReply, code2::kCreateRoom, "Tea", {"ann"}));
    EXPECT_TRUE(again.Is(code1::kReply, code2::kRoomNameTaken));
    EXPECT_EQ(again.number, 1);
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRoomLookUp, "Tea")).text, "ann");
    EXPECT_EQ(Service(CMsg(code1::kRequest, code2::kChannelListRequest)).list.back(), " Tea");

    // Creation by a name that never logged in from that address is refused.
    const CMsg stranger =
        Service(Chat(code1::kReply, code2::kCreateRoom, "Other", {"mallory"}), "127.0.0.9");
    EXPECT_FALSE(stranger.Is(code1::kReply, code2::kCreateRoom));
    EXPECT_EQ(Host().FindRoom("Other"), nullptr);
}

TEST_F(ChatHostTest, ThreePeopleTalkInOneRoom) {
    Host().NoteLogin("ann", "127.0.0.1");
    const int port = CreateRoom("Tea", "ann");
    FakeParticipant ann, bob, cat;
    ASSERT_EQ(Join(port, "ann", ann), JoinAnswer::Ok);
    ASSERT_EQ(Join(port, "bob", bob), JoinAnswer::Ok);
    ASSERT_EQ(Join(port, "cat", cat), JoinAnswer::Ok);
    EXPECT_EQ(ann.bare, std::vector<std::string>{"OK"});
    // The creator's client knows it owns the room: no hand-over record.
    EXPECT_TRUE(ann.With(43).empty());

    // The newcomer hears of everyone present, owner marked; the others hear of the newcomer.
    const auto catSees = cat.With(32);
    ASSERT_EQ(catSees.size(), 2u);
    EXPECT_EQ(catSees[0].text, "ann");
    EXPECT_EQ(catSees[0].number, 1);
    EXPECT_EQ(catSees[1].text, "bob");
    EXPECT_EQ(catSees[1].number, 0);
    ASSERT_EQ(ann.With(32).size(), 2u);
    EXPECT_EQ(ann.With(32)[1].text, "cat");
    EXPECT_EQ(cat.With(34).at(0).text, config.portalOnJoin);

    // A line goes to everybody, the sender included; a line naming another sender does not.
    Host().HandleChat(bob, Chat(code1::kUserAction, code2::kChatLine, "bob: hello"));
    Host().HandleChat(bob, Chat(code1::kUserAction, code2::kChatLine, "ann: I am ann"));
    for (auto* p : {&ann, &bob, &cat}) {
        const auto lines = p->With(11);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].list, std::vector<std::string>{"bob: hello"});
    }

    // Private message and beep reach only their target, naming the sender.
    Host().HandleChat(ann, Chat(code1::kRequest, code2::kPrivateMessage, "psst", {"cat", "ann"}));
    Host().HandleChat(bob, Chat(code1::kRequest, code2::kBeep, "cat", {"bob Beep you!"}));
    ASSERT_EQ(cat.With(10).size(), 1u);
    EXPECT_EQ(cat.With(10)[0].text, "psst");
    EXPECT_EQ(cat.With(10)[0].list, std::vector<std::string>{"ann"});
    EXPECT_EQ(cat.With(35).at(0).list, std::vector<std::string>{"bob Beep you!"});
    EXPECT_TRUE(bob.With(10).empty());
    EXPECT_TRUE(ann.With(35).empty());

    // Effects: from the owner to all others, or to one; from anyone else refused.
    Host().HandleChat(
        ann, Chat(code1::kUserAction, code2::kImageEffect, "http://h/effect/pic_1.htm", {"ann"}));
    Host().HandleChat(ann, Chat(code1::kUserAction, code2::kSoundEffect,
                                "http://h/effect/sound_1.htm", {"ann", "bob"}, 1));
    Host().HandleChat(
        bob, Chat(code1::kUserAction, code2::kImageEffect, "http://h/effect/pic_2.htm", {"bob"}));
    EXPECT_TRUE(ann.With(21).empty());
    ASSERT_EQ(cat.With(21).size(), 1u);
    EXPECT_EQ(cat.With(21)[0].text, "http://h/effect/pic_1.htm");
    EXPECT_EQ(cat.With(21)[0].list, std::vector<std::string>{"ann"});
    EXPECT_EQ(bob.With(21).size(), 1u);
    EXPECT_EQ(bob.With(20).size(), 1u);
    EXPECT_TRUE(cat.With(20).empty());

    // A kick by a non-owner changes nothing; by the owner it ends the target's connection.
    Host().HandleChat(bob, Chat(code1::kUserAction, code2::kKick, "cat", {"bob"}));
    EXPECT_FALSE(cat.closed);
    EXPECT_TRUE(Host().IsMember(cat));
    Host().HandleChat(ann, Chat(code1::kUserAction, code2::kKick, "cat", {"ann"}));
    EXPECT_TRUE(cat.closed);
    EXPECT_FALSE(Host().IsMember(cat));
    ASSERT_EQ(cat.With(25).size(), 1u);
    EXPECT_EQ(cat.With(35).back().list.at(0), "You are kicked out of the room by ann!");
    EXPECT_EQ(bob.With(33).at(0).text, "cat");

    // Hand-over: the new owner gets 43 naming the giver, everyone else 51 naming the new owner.
    FakeParticipant dan;
    ASSERT_EQ(Join(port, "dan", dan), JoinAnswer::Ok);
    Host().HandleChat(ann, Chat(code1::kRequest, code2::kGiveOwnership, "bob", {"ann"}));
    EXPECT_EQ(bob.With(43).at(0).list, std::vector<std::string>{"ann"});
    EXPECT_EQ(ann.With(51).at(0).list.back(), "bob");
    EXPECT_EQ(dan.With(51).at(0).list.back(), "bob");
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRoomLookUp, "Tea")).text, "bob");

    // The owner drops: the longest present (ann) takes over, with the same two records.
    ann.Clear();
    dan.Clear();
    Host().Drop(bob);
    EXPECT_EQ(ann.With(33).at(0).text, "bob");
    EXPECT_EQ(ann.With(43).at(0).list, std::vector<std::string>{"bob"});
    EXPECT_EQ(dan.With(51).at(0).list.back(), "ann");

    // Find and deliver through the service.
    const CMsg found = Service(Chat(code1::kRequest, code2::kFindUser, "dan"));
    EXPECT_EQ(found.number, 1);
    EXPECT_EQ(found.text, "Tea");
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kFindUser, "cat")).number, 0);
    EXPECT_FALSE(Host().HandleService(
        Chat(code1::kRequest, code2::kDeliverToUser, "Tea", {"ann", "dan", "hi dan"}),
        "127.0.0.1"));
    EXPECT_EQ(dan.With(10).back().text, "hi dan");
    EXPECT_EQ(dan.With(10).back().list, std::vector<std::string>{"ann"});

    // Leave notice and farewell tell the others once; the owner leaving alone removes it.
    Host().HandleChat(dan, CMsg(code1::kRequest, code2::kLeave));
    Host().HandleChat(dan, Chat(code1::kRequest, code2::kClosing, "dan left the chatroom!"));
    EXPECT_TRUE(dan.closed);
    EXPECT_EQ(ann.With(33).size(), 2u);
    Host().HandleChat(ann, Chat(code1::kRequest, code2::kClosing, "ann left the chatroom!"));
    const CMsg removed = Service(Chat(code1::kRequest, code2::kRemoveRoom, "Tea"));
    EXPECT_EQ(removed.number, 1);
    EXPECT_EQ(Host().FindRoom("Tea"), nullptr);
    EXPECT_EQ(ports.closedPorts, std::vector<int>{port});
}

TEST_F(ChatHostTest, JoinRefusalsFullNameTakenAndImpersonation) {
    Host();
    const int port = ports.open.at(0);
    FakeParticipant a, b, c, d, twin, impostor("127.0.0.2");
    ASSERT_EQ(Join(port, "a", a), JoinAnswer::Ok);
    EXPECT_EQ(a.With(32).size(), 0u);
    EXPECT_EQ(Join(port, "a", twin), JoinAnswer::NameExists);
    EXPECT_EQ(twin.bare, std::vector<std::string>{std::string(zorvi::kJoinNameExists)});
    ASSERT_EQ(Join(port, "b", b), JoinAnswer::Ok);
    ASSERT_EQ(Join(port, "c", c), JoinAnswer::Ok);
    EXPECT_EQ(Join(port, "d", d), JoinAnswer::Full);
    EXPECT_EQ(d.bare, std::vector<std::string>{std::string(zorvi::kJoinFull)});
    EXPECT_EQ(Service(CMsg(code1::kRequest, code2::kChannelListRequest)).array.at(0), 3);

    // "x" never logged in from 127.0.0.2: its join fails and nothing is sent to anyone.
    Host().Drop(c);
    a.Clear();
    EXPECT_EQ(Host().Join(port, "x", impostor), JoinAnswer::NotLoggedIn);
    EXPECT_TRUE(impostor.bare.empty());
    EXPECT_TRUE(a.With(32).empty());

    // A join on a port that has no room.
    FakeParticipant lost;
    EXPECT_EQ(Host().Join(9, "a", lost), JoinAnswer::NoRoom);
}

TEST_F(ChatHostTest, PermanentRoomsHaveNoOwnerAndAnEmptyRoomGoesToTheFirstToEnter) {
    Host();
    const int lobby = ports.open.at(0);
    FakeParticipant a, b;
    ASSERT_EQ(Join(lobby, "a", a), JoinAnswer::Ok);
    ASSERT_EQ(Join(lobby, "b", b), JoinAnswer::Ok);
    EXPECT_TRUE(a.With(43).empty());
    EXPECT_EQ(b.With(32).at(0).number, 0);  // nobody is marked as owner
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRoomLookUp, "Lobby")).text, "");
    // Nobody may kick, send effects or remove the room there.
    Host().HandleChat(a, Chat(code1::kUserAction, code2::kKick, "b", {"a"}));
    Host().HandleChat(
        a, Chat(code1::kUserAction, code2::kImageEffect, "http://h/effect/pic_1.htm", {"a"}));
    EXPECT_FALSE(b.closed);
    EXPECT_TRUE(b.With(21).empty());
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRemoveRoom, "Lobby")).number, 0);
    // Not even a nameless joiner, where logins are not checked.
    config.requireLoginToJoin = false;
    FakeParticipant nameless;
    EXPECT_EQ(Host().Join(lobby, "", nameless), JoinAnswer::NotLoggedIn);
    // Leaving hands nothing on.
    Host().HandleChat(a, Chat(code1::kRequest, code2::kClosing, "a left the chatroom!"));
    EXPECT_TRUE(b.With(43).empty());
    EXPECT_NE(Host().FindRoom("Lobby"), nullptr);

    // A created room left empty by its owner's drop goes to whoever enters it first, who
    // entered as a member and is told by a hand-over from the service.
    Host().NoteLogin("ann", "127.0.0.1");
    const int tea = CreateRoom("Tea", "ann");
    FakeParticipant ann, bob, cat;
    ASSERT_EQ(Join(tea, "ann", ann), JoinAnswer::Ok);
    Host().Drop(ann);
    ASSERT_EQ(Join(tea, "bob", bob), JoinAnswer::Ok);
    EXPECT_EQ(bob.With(43).at(0).list, std::vector<std::string>{"Zorvi"});
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRoomLookUp, "Tea")).text, "bob");
    ASSERT_EQ(Join(tea, "cat", cat), JoinAnswer::Ok);
    EXPECT_TRUE(cat.With(43).empty());
    EXPECT_EQ(cat.With(32).at(0).number, 1);
}

TEST_F(ChatHostTest, RemovalMatchesTheOwnerByAddressAndEmptyRoomsExpire) {
    Host().NoteLogin("ann", "127.0.0.1");
    Host().NoteLogin("bob", "127.0.0.2");
    const int tea = CreateRoom("Tea", "ann");
    const int cake = CreateRoom("Cake", "bob", "127.0.0.2");
    ASSERT_GT(cake, 0);

    // From bob's address, ann's room is not bob's to remove.
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRemoveRoom, "Tea"), "127.0.0.2").number, 0);
    EXPECT_NE(Host().FindRoom("Tea"), nullptr);
    // A room that no longer exists counts as removed.
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRemoveRoom, "Gone")).number, 1);

    // The owner's removal can overtake the owner's own farewell: the owner counts as gone.
    FakeParticipant ann;
    ASSERT_EQ(Join(tea, "ann", ann), JoinAnswer::Ok);
    EXPECT_EQ(Service(Chat(code1::kRequest, code2::kRemoveRoom, "Tea")).number, 1);
    EXPECT_TRUE(ann.closed);
    EXPECT_EQ(Host().FindRoom("Tea"), nullptr);

    // Permanent rooms stay; empty created rooms go after the grace period, not before.
    now += config.emptyRoomGrace - std::chrono::seconds(1);
    Host().Sweep();
    EXPECT_NE(Host().FindRoom("Cake"), nullptr);
    now += std::chrono::seconds(2);
    Host().Sweep();
    EXPECT_EQ(Host().FindRoom("Cake"), nullptr);
    EXPECT_NE(Host().FindRoom("Lobby"), nullptr);
    EXPECT_EQ(Host().RoomCount(), 2u);
}

TEST_F(ChatHostTest, LiveShowOnlyInPlusRoomsAndShutdownTellsEveryone) {
    Host();
    FakeParticipant viewer, lobbyist;
    ASSERT_EQ(Join(ports.open.at(1), "viewer", viewer), JoinAnswer::Ok);
    ASSERT_EQ(Join(ports.open.at(0), "lobbyist", lobbyist), JoinAnswer::Ok);
    Host().HandleChat(viewer, Chat(code1::kRequest, code2::kLiveShowRequest, "Live Show"));
    Host().HandleChat(lobbyist, Chat(code1::kRequest, code2::kLiveShowRequest, "Lobby"));
    ASSERT_EQ(viewer.With(48).size(), 1u);
    EXPECT_EQ(viewer.With(48)[0].text, "http://127.0.0.1:1/media/liveshow.ogg");
    EXPECT_TRUE(lobbyist.With(48).empty());

    Host().CloseAll();
    for (auto* p : {&viewer, &lobbyist}) {
        EXPECT_TRUE(p->closed);
        EXPECT_EQ(p->records.back(), CMsg(code1::kReply, code2::kClosing));
    }
    EXPECT_FALSE(viewer.garbage);
}

}  // namespace
}  // namespace zorvid::test
