// The login loop against a scripted login server on loopback.
#include "login/login_ops.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHash>
#include <QPlainTextEdit>
#include <algorithm>
#include <stdexcept>

#include "app/password_keyring.h"
#include "fake_login_dialog.h"
#include "msg_printer.h"
#include "net/codec.h"
#include "net/protocol.h"
#include "support/test_window.h"
#include "support_net/script_peer.h"
#include "ui/progress_dlg.h"

namespace {

using namespace std::chrono_literals;

kvtest::PeerScript Answering(const CMsg& reply) {
    kvtest::PeerScript s;
    s.Receive().Send(reply).Receive();
    return s;
}

CMsg LoginRecord(const std::string& user, const std::string& password) {
    CMsg m(code1::kUserAction, code2::kLogin);
    m.text = user;
    m.list = {password};
    return m;
}

// Notes, for each box shown, whether the progress window was on screen and its text.
class ProgressAwareBox : public IMessageBox {
public:
    explicit ProgressAwareBox(CKestrivanDlg& dlg) : dlg_(dlg) {}
    void Show(const QString& text) override {
        // A login loop that keeps repeating itself would never return: stop it here.
        if (shown.size() >= 10) throw std::runtime_error("the login loop repeats without end");
        shown << text;
        CProgressDlg* p = dlg_.m_pProgressDlg;
        progressText << (p && p->isVisible() ? p->textEdit()->toPlainText() : QString());
    }
    bool AskYesNo(const QString&) override { return true; }
    QStringList shown;
    QStringList progressText;

private:
    CKestrivanDlg& dlg_;
};

class LoginLoopTest : public ::testing::Test {
protected:
    void UseLoginServer(const kvtest::ScriptPeer& peer) {
        tw.w().services().endpoints.loginPort = peer.port();
    }
    void SaveSettings(const QString& user, const QString& password, int psave) {
        ASSERT_TRUE(settings().CreateUserKey());
        ASSERT_TRUE(settings().WriteString(QStringLiteral("username"), user));
        ASSERT_TRUE(settings().WriteString(QStringLiteral("password"), password));
        ASSERT_TRUE(settings().WriteNumber(QStringLiteral("psave"), psave));
    }
    SettingsStore& settings() { return *tw.settings; }
    QString Setting(const char* name) {
        return settings().ReadString(QLatin1String(name)).value_or(QStringLiteral("<none>"));
    }
    QString Transcript() { return tw.w().m_chatDisplay->toPlainText(); }

    TestWindow tw;
    FakeLoginDialog dialog;
    LoginOps ops{tw.w(), dialog};
};

TEST_F(LoginLoopTest, DialogLoginSendsTrimmedNameAndSavesPerCheckBox) {
    // Checked: name (trimmed) and password (as typed) are saved with psave 1.
    {
        kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        UseLoginServer(server);
        dialog.Type(QStringLiteral(" \talice\r\n "), QStringLiteral(" pw "), true,
                    QStringLiteral("127.0.0.1"));
        ASSERT_TRUE(ops.Login());
        ASSERT_TRUE(server.WaitForReceived(2, 5s));
        const auto got = server.Received();
        EXPECT_EQ(got[0], LoginRecord("alice", " pw "));
        EXPECT_EQ(got[1], CMsg(code1::kRequest, code2::kClosing));
        EXPECT_EQ(tw.w().nickname(), QStringLiteral("alice"));
        EXPECT_EQ(tw.w().password(), QStringLiteral(" pw "));
        EXPECT_EQ(tw.w().loginHost(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(tw.w().chatHost(), QStringLiteral("127.0.0.1"));
        EXPECT_EQ(Setting("username"), QStringLiteral("alice"));
        EXPECT_EQ(Setting("password"), QStringLiteral(" pw "));
        EXPECT_EQ(settings().ReadNumber(QStringLiteral("psave")), 1);
        EXPECT_TRUE(tw.box.shown.isEmpty());
        EXPECT_EQ(tw.w().m_pProgressDlg, nullptr);
    }
    // Unchecked: only psave changes, to 0; the saved name and password stay.
    {
        kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        UseLoginServer(server);
        FakeLoginDialog second;
        LoginOps again(tw.w(), second);
        second.Type(QStringLiteral("bob"), QStringLiteral("other"), false,
                    QStringLiteral("127.0.0.1"));
        // psave 1 makes the next login automatic; start this one from the dialog.
        ASSERT_TRUE(settings().WriteNumber(QStringLiteral("psave"), 0));
        ASSERT_TRUE(again.Login());
        EXPECT_EQ(Setting("username"), QStringLiteral("alice"));
        EXPECT_EQ(Setting("password"), QStringLiteral(" pw "));
        EXPECT_EQ(settings().ReadNumber(QStringLiteral("psave")), 0);
        EXPECT_EQ(tw.w().nickname(), QStringLiteral("bob"));
    }
}

TEST_F(LoginLoopTest, EmptyServerTextUsesDefaultLoginAddress) {
    kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
    UseLoginServer(server);
    tw.w().services().endpoints.loginHost = QStringLiteral("127.0.0.1");
    tw.w().SetServerHost(QStringLiteral("stale.invalid"));
    dialog.Type(QStringLiteral("carol"), QStringLiteral("x"), false, QString());
    ASSERT_TRUE(ops.Login());
    EXPECT_EQ(tw.w().loginHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(tw.w().chatHost(), QStringLiteral("127.0.0.1"));
}

TEST_F(LoginLoopTest, RefusedLoginReturnsToDialogWithFieldsKept) {
    kvtest::ScriptPeer server({Answering(CMsg(code1::kReply, code2::kLoginRefused)),
                               Answering(CMsg(code1::kReply, code2::kLoginAccepted))});
    UseLoginServer(server);
    dialog.Type(QStringLiteral("  dave "), QStringLiteral("wrong"), true,
                QStringLiteral("127.0.0.1"));
    dialog.PressOk();
    ASSERT_TRUE(ops.Login());

    ASSERT_EQ(dialog.shownWith.size(), 2u);
    const LoginDialogData& again = dialog.shownWith[1];
    EXPECT_EQ(again.userName, QStringLiteral("dave"));  // trimmed, as left in the dialog
    EXPECT_EQ(again.password, QStringLiteral("wrong"));
    EXPECT_EQ(again.server, QStringLiteral("127.0.0.1"));
    // The box is set from the saved flag (none yet) before every showing.
    EXPECT_FALSE(again.savePassword);
    EXPECT_EQ(tw.box.shown, QStringList{QStringLiteral("Login fail!")});
    ASSERT_TRUE(server.WaitForReceived(4, 5s));
    // Two connections: their records may be recorded interleaved.
    const auto got = server.Received();
    EXPECT_EQ(std::count(got.begin(), got.end(), LoginRecord("dave", "wrong")), 2);
    EXPECT_EQ(std::count(got.begin(), got.end(), CMsg(code1::kRequest, code2::kClosing)), 2);
    EXPECT_EQ(tw.w().m_pProgressDlg, nullptr);
}

TEST_F(LoginLoopTest, BlankUserNameRefusedLocally) {
    kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
    UseLoginServer(server);
    dialog.Type(QStringLiteral(" \t \r\n"), QStringLiteral("pw"), true,
                QStringLiteral("127.0.0.1"));
    // The second showing is cancelled.
    EXPECT_FALSE(ops.Login());
    EXPECT_EQ(tw.box.shown, QStringList{QStringLiteral("Username cannot be empty!")});
    EXPECT_EQ(dialog.shownWith.size(), 2u);
    EXPECT_FALSE(server.WaitForAccepted(1, 300ms));
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(LoginLoopTest, CancelEndsLoginAndFirstRunCreatesTheKey) {
    ASSERT_FALSE(settings().UserKeyExists());
    EXPECT_FALSE(ops.Login());
    EXPECT_EQ(dialog.shownWith.size(), 1u);
    EXPECT_FALSE(dialog.shownWith[0].savePassword);
    EXPECT_TRUE(settings().UserKeyExists());
    EXPECT_EQ(settings().ReadNumber(QStringLiteral("psave")), 0);
    EXPECT_EQ(Setting("username"), QString());
    EXPECT_EQ(Setting("password"), QString());
}

TEST_F(LoginLoopTest, AutomaticLoginSendsSavedValuesAndLeavesSettings) {
    SaveSettings(QStringLiteral("erin"), QStringLiteral("s3cret "), 1);
    QFile file(settings().userFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
    UseLoginServer(server);
    const QString defaultHost = tw.w().loginHost();
    ASSERT_TRUE(ops.Login());

    EXPECT_TRUE(dialog.shownWith.empty());
    ASSERT_TRUE(server.WaitForReceived(1, 5s));
    EXPECT_EQ(server.Received()[0], LoginRecord("erin", "s3cret "));
    EXPECT_EQ(tw.w().nickname(), QStringLiteral("erin"));
    EXPECT_EQ(tw.w().password(), QStringLiteral("s3cret "));
    EXPECT_EQ(tw.w().loginHost(), defaultHost);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

TEST_F(LoginLoopTest, AutomaticLoginWithEmptySavedNameStillSends) {
    SaveSettings(QString(), QString(), 1);
    kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
    UseLoginServer(server);
    ASSERT_TRUE(ops.Login());
    ASSERT_TRUE(server.WaitForReceived(1, 5s));
    EXPECT_EQ(server.Received()[0], LoginRecord("", ""));
    EXPECT_TRUE(tw.box.shown.isEmpty());
}

TEST_F(LoginLoopTest, RefusedAutomaticLoginShowsDialogWithSaveChecked) {
    SaveSettings(QStringLiteral("fay"), QStringLiteral("old"), 1);
    kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginRefused)));
    UseLoginServer(server);
    EXPECT_FALSE(ops.Login());  // the dialog is cancelled
    EXPECT_EQ(tw.box.shown, QStringList{QStringLiteral("Login fail!")});
    ASSERT_EQ(dialog.shownWith.size(), 1u);
    EXPECT_TRUE(dialog.shownWith[0].savePassword);
    EXPECT_EQ(server.Accepted(), 1);
}

TEST_F(LoginLoopTest, UnreachableServerShowsMessageThenDialog) {
    ProgressAwareBox box(tw.w());
    tw.w().services().messageBox = &box;
    tw.w().services().endpoints.loginPort = kvtest::ClosedPort();

    // From an automatic login: the dialog comes next instead of the same attempt again.
    SaveSettings(QStringLiteral("gus"), QStringLiteral("pw"), 1);
    // From the dialog: the dialog comes again.
    dialog.Type(QStringLiteral("gus"), QStringLiteral("pw"), true, QStringLiteral("127.0.0.1"));
    bool loggedIn = true;
    ASSERT_NO_THROW(loggedIn = ops.Login());
    EXPECT_FALSE(loggedIn);

    const QString fail = QStringLiteral("Fail to connect server!");
    EXPECT_EQ(box.shown, (QStringList{fail, fail}));
    // The box is shown while the progress window still says what is going on.
    EXPECT_EQ(box.progressText, (QStringList{QStringLiteral("Processing Login...."),
                                             QStringLiteral("Processing Login....")}));
    EXPECT_EQ(dialog.shownWith.size(), 2u);
    EXPECT_EQ(tw.w().m_pProgressDlg, nullptr);
}

TEST_F(LoginLoopTest, BrokenExchangeIsReportedBeforeGivingUp) {
    struct Case {
        const char* what;
        kvtest::PeerScript script;
    };
    std::vector<Case> cases;
    cases.push_back({"closed before the reply", kvtest::PeerScript().Receive().Close()});
    cases.push_back({"reset before the reply", kvtest::PeerScript().Receive().Close(true)});
    cases.push_back(
        {"closed inside the reply",
         kvtest::PeerScript()
             .Receive()
             .SendRaw(zorvi::EncodeMsg(CMsg(code1::kReply, code2::kLoginAccepted)).substr(0, 5))
             .Close()});
    cases.push_back({"no reply in time", kvtest::PeerScript().Receive().Silent()});
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestWindow local;
        FakeLoginDialog localDialog;
        LoginOps localOps(local.w(), localDialog);
        kvtest::ScriptPeer server(c.script);
        local.w().services().endpoints.loginPort = server.port();
        localDialog.Type(QStringLiteral("hal"), QStringLiteral("pw"), false,
                         QStringLiteral("127.0.0.1"));
        localDialog.Type(QStringLiteral("hal"), QStringLiteral("pw"), false,
                         QStringLiteral("127.0.0.1"));

        EXPECT_FALSE(localOps.Login());
        const QString line = QStringLiteral("Unable to connect login server!");
        EXPECT_EQ(local.box.shown, QStringList{line});
        EXPECT_TRUE(local.w().m_chatDisplay->toPlainText().contains(line));
        EXPECT_EQ(localDialog.shownWith.size(), 1u);
        EXPECT_EQ(local.w().m_pProgressDlg, nullptr);
        EXPECT_FALSE(local.w().m_pLoginSocket->IsOpen());
    }
}

// A keyring in memory that can be switched off, as when no Secret Service answers.
class MemoryKeyring : public IPasswordKeyring {
public:
    Status Read(const QString& user, QString& password) override {
        if (!available) return Status::Unavailable;
        if (!secrets.contains(user)) return Status::NotFound;
        password = secrets.value(user);
        return Status::Ok;
    }
    Status Write(const QString& user, const QString& password) override {
        if (!available) return Status::Unavailable;
        secrets.insert(user, password);
        return Status::Ok;
    }
    bool available = true;
    QHash<QString, QString> secrets;
};

TEST_F(LoginLoopTest, WithAKeyringThePasswordLeavesTheFileAndLoginIsUnchanged) {
    MemoryKeyring keyring;
    tw.w().services().keyring = &keyring;
    // An earlier version's file: the password moves into the keyring, the automatic login
    // sends it as before.
    SaveSettings(QStringLiteral("erin"), QStringLiteral("s3cret "), 1);
    {
        kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        UseLoginServer(server);
        ASSERT_TRUE(ops.Login());
        ASSERT_TRUE(server.WaitForReceived(1, 5s));
        EXPECT_EQ(server.Received()[0], LoginRecord("erin", "s3cret "));
    }
    EXPECT_EQ(keyring.secrets.value(QStringLiteral("erin")), QStringLiteral("s3cret "));
    EXPECT_EQ(Setting("password"), QStringLiteral("<none>"));
    EXPECT_EQ(Setting("username"), QStringLiteral("erin"));
    EXPECT_EQ(settings().ReadNumber(QStringLiteral("psave")), 1);

    // A login typed into the dialog and saved goes to the keyring only.
    ASSERT_TRUE(settings().WriteNumber(QStringLiteral("psave"), 0));
    {
        kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        UseLoginServer(server);
        dialog.Type(QStringLiteral("finn"), QStringLiteral("pw2"), true,
                    QStringLiteral("127.0.0.1"));
        ASSERT_TRUE(ops.Login());
    }
    EXPECT_EQ(keyring.secrets.value(QStringLiteral("finn")), QStringLiteral("pw2"));
    EXPECT_EQ(Setting("password"), QStringLiteral("<none>"));
    EXPECT_EQ(Setting("username"), QStringLiteral("finn"));

    // The keyring gone: the next saved login falls back to the file, as without one.
    keyring.available = false;
    ASSERT_TRUE(settings().WriteNumber(QStringLiteral("psave"), 0));
    {
        kvtest::ScriptPeer server(Answering(CMsg(code1::kReply, code2::kLoginAccepted)));
        UseLoginServer(server);
        dialog.Type(QStringLiteral("gus"), QStringLiteral("pw3"), true,
                    QStringLiteral("127.0.0.1"));
        ASSERT_TRUE(ops.Login());
    }
    EXPECT_EQ(Setting("password"), QStringLiteral("pw3"));
    EXPECT_FALSE(keyring.secrets.contains(QStringLiteral("gus")));
}

}  // namespace
