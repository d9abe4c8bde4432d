#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>

#include "chat_harness.h"

using namespace chattest;
using kvtest::PeerScript;
using kvtest::ScriptPeer;

namespace {

struct InputHarness : ListeningHarness {
    void Type(const QString& text) {
        w().m_chatInput->setPlainText(text);
        w().OnSendButton();
    }
};

}  // namespace

TEST(ChatInput, RoomLinesLoseLeadingSpaceOnly) {
    InputHarness h;
    ASSERT_TRUE(h.joined);
    h.Type(QStringLiteral("   hello world  "));
    EXPECT_TRUE(h.w().m_chatInput->toPlainText().isEmpty());
    h.Type(QStringLiteral("    "));  // only spaces: nothing sent
    EXPECT_TRUE(h.w().m_chatInput->toPlainText().isEmpty());
    h.Type(QStringLiteral("second"));
    const auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].code1, 15);
    EXPECT_EQ(sent[0].code2, 11);
    EXPECT_EQ(sent[0].text, "me: hello world  ");
    EXPECT_TRUE(sent[0].list.empty());
    EXPECT_EQ(sent[1].text, "me: second");
    EXPECT_TRUE(h.Display().isEmpty()) << "the sender sees its line only when the host returns it";
}

TEST(ChatInput, BadWordsAreRefusedByTheirListedForms) {
    EXPECT_TRUE(CKestrivanDlg::ContainsBadWord(QStringLiteral("what the Fuck")));
    EXPECT_TRUE(CKestrivanDlg::ContainsBadWord(QStringLiteral("motherfucker")));
    EXPECT_TRUE(CKestrivanDlg::ContainsBadWord(QStringLiteral("Cunt")));
    EXPECT_TRUE(CKestrivanDlg::ContainsBadWord(QStringLiteral("xcuntx")));
    EXPECT_FALSE(CKestrivanDlg::ContainsBadWord(QStringLiteral("FUCK")));
    EXPECT_FALSE(CKestrivanDlg::ContainsBadWord(QStringLiteral("fUck cUNT")));
    EXPECT_FALSE(CKestrivanDlg::ContainsBadWord(QStringLiteral("fu ck")));

    InputHarness h;
    ASSERT_TRUE(h.joined);
    h.Type(QStringLiteral("oh Fuck"));
    EXPECT_EQ(h.box.shown, QStringList({"Warning: Please do not type bad word!"}));
    EXPECT_TRUE(h.w().m_chatInput->toPlainText().isEmpty());
    h.Type(QStringLiteral("oh FUCK"));
    const auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "me: oh FUCK");
}

TEST(ChatInput, LinesWithoutAConnectionAreDroppedSilently) {
    ChatHarness h;  // never joined: no output writer
    h.w().m_chatInput->setPlainText(QStringLiteral("hello Fuck"));
    h.w().OnSendButton();
    EXPECT_TRUE(h.box.shown.isEmpty());
    EXPECT_TRUE(h.Display().isEmpty());
    EXPECT_TRUE(h.w().m_chatInput->toPlainText().isEmpty());
}

TEST(ChatInput, FailedWriteIsReported) {
    InputHarness h;
    ASSERT_TRUE(h.joined);
    h.w().m_pChatSocket->Close();  // the writer stays, the socket is gone
    h.Type(QStringLiteral("hello"));
    EXPECT_EQ(h.Lines(), QStringList({"Unable to connect login server!"}));
}

TEST(ChatInput, UnknownCommands) {
    ChatHarness h;
    const QString unknown = QStringLiteral("Unknown command! Use /help !");
    for (const char* line : {"/HELP", "/", "/ help", "/Kick bob", "/helpme"}) {
        h.w().m_chatDisplay->clear();
        h.w().SendChat(QString::fromLatin1(line));
        EXPECT_EQ(h.Lines(), QStringList({unknown})) << line;
    }
}

TEST(ChatInput, HelpListsTheCommands) {
    ChatHarness h;
    EXPECT_TRUE(h.w().ProcessCommand(QStringLiteral("/help me")));
    const QStringList expected = {
        "",
        "",
        "Zorvi Version:1.001b",
        "--------------------",
        "Command:            ",
        "/help: Display the help menu.",
        "/msg <username> <message>:  ",
        "  Send a private message to another person.",
        "/beep <username>: Beep a user!",
        "/kick <username>:",
        "  kick out a user out from the room! Only Room owner can user this.",
        "",
        ""};
    EXPECT_EQ(h.Lines(), expected);
}

TEST(ChatInput, PrivateMessageNeedsRecipientAndMessage) {
    ChatHarness h;
    const QStringList usage = {
        "", "", "/msg <username> <message>:  Send a private message to another person"};
    for (const char* line : {"/msg", "/msg bob", "/msg bob ", "/msg  hello"}) {
        h.w().m_chatDisplay->clear();
        EXPECT_TRUE(h.w().ProcessCommand(QString::fromLatin1(line)));
        EXPECT_EQ(h.Lines(), usage) << line;
    }
    EXPECT_TRUE(h.rooms.calls.isEmpty());
    h.w().ProcessCommand(QStringLiteral("/msg bob   see you  later "));
    EXPECT_EQ(h.rooms.calls, QStringList({"SendPrivateMessage bob | see you  later "}));
}

TEST(ChatInput, KickRules) {
    InputHarness h;
    ASSERT_TRUE(h.joined);
    h.w().ProcessCommand(QStringLiteral("/kick bob"));  // not the owner
    EXPECT_EQ(h.box.shown, QStringList({"Only the owner of this chat room can <kick> people!"}));
    EXPECT_TRUE(h.Display().isEmpty());

    h.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    h.w().ProcessCommand(QStringLiteral("/kick"));
    h.w().ProcessCommand(QStringLiteral("/kick me"));
    h.w().ProcessCommand(QStringLiteral("/kick bob and more words"));
    EXPECT_EQ(h.Lines(), QStringList({" ", "/kick <username>: kick a user out of the room!", " ",
                                      "You cannot kick yourself out of the room!"}));
    const auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code1, 15);
    EXPECT_EQ(sent[0].code2, 45);
    EXPECT_EQ(sent[0].text, "bob");
    EXPECT_EQ(sent[0].list, std::vector<std::string>({"me"}));
}

TEST(ChatInput, KickAndBeepReportWhenNotConnected) {
    ChatHarness h;
    h.w().BecomeOwner(CKestrivanDlg::OwnerGain::Received);
    h.w().ProcessCommand(QStringLiteral("/kick bob"));
    h.w().ProcessCommand(QStringLiteral("/beep bob"));
    EXPECT_EQ(h.Lines(),
              QStringList({"There is error in kick user!", "There is error in sending message!"}));
}

TEST(ChatInput, BeepAnyoneEvenOneself) {
    InputHarness h;
    ASSERT_TRUE(h.joined);
    h.w().ProcessCommand(QStringLiteral("/beep"));
    h.w().ProcessCommand(QStringLiteral("/beep ann extra"));
    h.w().ProcessCommand(QStringLiteral("/beep me"));
    EXPECT_EQ(h.Lines(), QStringList({"", "", "/beep <username>: Beep a user!"}));
    const auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].code1, 14);
    EXPECT_EQ(sent[0].code2, 35);
    EXPECT_EQ(sent[0].text, "ann");
    EXPECT_EQ(sent[0].list, std::vector<std::string>({"me Beep you!"}));
    EXPECT_EQ(sent[1].text, "me");
}

TEST(ChatInput, FindReportsTheRoom) {
    ChatHarness h;
    h.w().ProcessCommand(QStringLiteral("/find"));
    h.w().ProcessCommand(QStringLiteral("/find ghost"));
    h.rooms.room = QStringLiteral("Lobby");
    h.w().ProcessCommand(QStringLiteral("/find ann is here"));
    EXPECT_EQ(h.rooms.calls, QStringList({"FindUser ghost", "FindUser ann"}));
    EXPECT_EQ(h.Lines(), QStringList({"", "", "/find <username>: find a user!",
                                      "ghost is not in any room !", "ann is in Room <Lobby> !"}));
}

TEST(ChatInput, EnterPressesSendOnlyWhenItIsEnabled) {
    InputHarness h;
    ASSERT_TRUE(h.joined);
    h.w().SetUp();
    h.w().show();
    h.w().m_chatInput->setReadOnly(false);
    h.w().m_chatInput->setPlainText(QStringLiteral("early"));
    QTest::keyClick(h.w().m_chatInput, Qt::Key_Return);
    EXPECT_EQ(h.w().m_chatInput->toPlainText(), QStringLiteral("early")) << "Send is disabled";
    h.w().m_sendButton->setEnabled(true);
    QTest::keyClick(h.w().m_chatInput, Qt::Key_Return);
    EXPECT_TRUE(h.w().m_chatInput->toPlainText().isEmpty());
    const auto sent = h.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].text, "me: early");
}
