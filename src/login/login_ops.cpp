#include "login/login_ops.h"

#include <QMetaObject>

#include "app/saved_password.h"
#include "app/settings_store.h"
#include "chat/connect_failure.h"
#include "chat/kestrivan_dlg.h"
#include "login/login_dialog.h"
#include "login/login_texts.h"
#include "net/one_shot_exchange.h"
#include "net/protocol.h"
#include "net/stream_errors.h"
#include "ui/progress_dlg.h"

namespace {

// Per-user setting names.
const QString kUserNameValue = QStringLiteral("username");
const QString kSavePasswordValue = QStringLiteral("psave");
const QString kSoundValue = QStringLiteral("sound");

QString Text(const char* fixed) { return QString::fromUtf8(fixed); }

// Blanks, tabs and line ends only: other white space is part of the name.
QString TrimBlanks(const QString& s) {
    auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && blank(s[begin])) ++begin;
    while (end > begin && blank(s[end - 1])) --end;
    return s.mid(begin, end - begin);
}

}  // namespace

LoginOps::LoginOps(CKestrivanDlg& dlg, ILoginDialog& loginDialog)
    : m_dlg(dlg), m_loginDialog(loginDialog) {}

bool LoginOps::LoginSequence() {
    if (!Login()) return false;
    if (!CheckVersion()) {
        // An unreachable chat host has been reported as such already; calling that an
        // invalid version would send the user after a download that does not help.
        if (lastVersionCheck_ != VersionCheck::Unreachable)
            m_dlg.ShowMessage(Text(login_texts::kInvalidVersion) +
                              m_dlg.endpoints().ServiceHomePage());
        return false;
    }
    m_dlg.ForgetRoom();

    SettingsStore* settings = m_dlg.services().settings;
    if (!settings || !settings->UserKeyExists()) return true;
    if (const auto sound = settings->ReadNumber(kSoundValue)) {
        m_dlg.SetSoundOn(*sound != 0);
    } else {
        settings->WriteNumber(kSoundValue, 0);
    }
    return true;
}

bool LoginOps::Login() {
    SettingsStore* settings = m_dlg.services().settings;
    std::int32_t savedFlag = 0;
    QString savedUserName;
    QString savedPassword;
    if (settings && settings->UserKeyExists()) {
        savedFlag = settings->ReadNumber(kSavePasswordValue).value_or(0);
        savedUserName = settings->ReadString(kUserNameValue).value_or(QString());
        SavedPassword saved(*settings, m_dlg.services().keyring);
        saved.MoveIntoKeyring(savedUserName);
        savedPassword = saved.Read(savedUserName);
    } else if (settings) {
        settings->CreateUserKey();
    }

    LoginDialogData data;
    bool automatic = savedFlag != 0;
    for (;;) {
        CMsg record(code1::kUserAction, code2::kLogin);
        const bool automaticAttempt = automatic;
        if (automaticAttempt) {
            // The hosts stay the window's defaults.
            m_dlg.SetIdentity(savedUserName, savedPassword);
            record.text = savedUserName.toStdString();
            record.list = {savedPassword.toStdString()};
        } else {
            data.savePassword = savedFlag != 0;
            if (!m_loginDialog.Run(data)) return false;
            const QString host = data.server.isEmpty() ? m_dlg.endpoints().loginHost : data.server;
            m_dlg.SetServerHost(host);
            data.userName = TrimBlanks(data.userName);
            if (data.userName.isEmpty()) {
                m_dlg.ShowMessage(Text(login_texts::kUsernameEmpty));
                continue;
            }
            m_dlg.SetIdentity(data.userName, data.password);
            record.text = data.userName.toStdString();
            record.list = {data.password.toStdString()};
        }

        m_dlg.m_pProgressDlg = new CProgressDlg(Text(login_texts::kProcessingLogin));
        m_dlg.m_pProgressDlg->Show();

        zorvi::OneShotPlan plan;
        plan.request = std::move(record);
        plan.onReplied = [this] { EndProgress(); };
        const zorvi::OneShotResult result =
            zorvi::RunOneShot(*m_dlg.m_pLoginSocket, m_dlg.loginHost().toStdString(),
                              m_dlg.endpoints().loginPort, plan);
        if (!result.Opened()) {
            m_dlg.ShowMessage(result.failedAt == zorvi::OneShotStep::Create
                                  ? Text(login_texts::kCannotCreateSocket)
                                  : ConnectFailureText(*m_dlg.m_pLoginSocket,
                                                       Text(login_texts::kFailConnectServer)));
            EndProgress();
            // Retrying the same saved login would fail the same way; the dialog lets the
            // user pick another server or cancel.
            automatic = false;
            continue;
        }
        if (!result.Answered()) {
            EndProgress();
            m_dlg.AppendChatLine(Text(login_texts::kUnableLoginServer));
            // The window is not on screen yet: without a box the program would just vanish.
            m_dlg.ShowMessage(Text(login_texts::kUnableLoginServer));
            return false;
        }
        // The closing notice follows a reply that has already decided the outcome; a peer
        // that has gone away by then changes nothing.
        if (result.reply.Is(code1::kReply, code2::kLoginAccepted)) {
            if (!automaticAttempt) SaveLogin(data.userName, data.password, data.savePassword);
            return true;
        }
        m_dlg.ShowMessage(Text(login_texts::kLoginFail));
        automatic = false;
    }
}

void LoginOps::SaveLogin(const QString& userName, const QString& password, bool savePassword) {
    SettingsStore* settings = m_dlg.services().settings;
    if (!settings || !settings->UserKeyExists()) return;
    if (savePassword) {
        settings->WriteString(kUserNameValue, userName);
        SavedPassword(*settings, m_dlg.services().keyring).Save(userName, password);
    }
    settings->WriteNumber(kSavePasswordValue, savePassword ? 1 : 0);
}

void LoginOps::EndProgress() {
    if (!m_dlg.m_pProgressDlg) return;
    m_dlg.m_pProgressDlg->End();
    delete m_dlg.m_pProgressDlg;
    m_dlg.m_pProgressDlg = nullptr;
}

bool LoginOps::CheckVersion() {
    lastVersionCheck_ = VersionCheck::Refused;
    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kRequest, code2::kVersionCheck);
    plan.request.number = zorvi::kClientVersion;
    plan.closingCode1 = code1::kReply;

    if (!m_dlg.m_pServiceSocket) return false;
    const zorvi::OneShotResult result =
        zorvi::RunOneShot(*m_dlg.m_pServiceSocket, m_dlg.chatHost().toStdString(),
                          m_dlg.endpoints().servicePort, plan);
    if (!result.Opened()) {
        m_dlg.ShowMessage(
            ConnectFailureText(*m_dlg.m_pServiceSocket, Text(login_texts::kFailConnectServer)));
        lastVersionCheck_ = VersionCheck::Unreachable;
        return false;
    }
    if (!result.Ok()) {
        m_dlg.AppendChatLine(Text(login_texts::kInableConnectServer));
        m_dlg.ShowMessage(Text(login_texts::kInableConnectServer));
        lastVersionCheck_ = VersionCheck::Unreachable;
        return false;
    }
    const bool accepted =
        result.reply.Is(code1::kReply, code2::kVersionCheck) && result.reply.number != 0;
    lastVersionCheck_ = accepted ? VersionCheck::Accepted : VersionCheck::Refused;
    return accepted;
}

void LoginOps::CloseChatSocket() {
    m_dlg.m_pChatSocket->Close();
    m_dlg.WatchChatSocket();
}

bool LoginOps::JoinChatServer() {
    if (!m_dlg.m_pChatSocket || m_dlg.chatPort() == -1) return false;
    zorvi::ChatSocket& chat = *m_dlg.m_pChatSocket;

    CloseChatSocket();
    if (!chat.Create() || !chat.Connect(m_dlg.chatHost().toStdString(), m_dlg.chatPort())) {
        CloseChatSocket();
        m_dlg.ShowMessage(ConnectFailureText(chat, Text(login_texts::kFailConnectChatServer)));
        return false;
    }
    chat.Init();

    std::string answer;
    try {
        chat.WriteBareString(m_dlg.nickname().toStdString());
        answer = chat.ReadBareString();
    } catch (const zorvi::StreamFailure&) {
        CloseChatSocket();
        m_dlg.ShowMessage(Text(login_texts::kFailConnectChatServer));
        return false;
    }

    if (answer == zorvi::kJoinFull) {
        m_dlg.ShowMessage(Text(login_texts::kRoomFull));
        CloseChatSocket();
        return false;
    }
    if (answer == zorvi::kJoinNameExists) {
        m_dlg.ShowMessage(Text(login_texts::kNameExists));
        CloseChatSocket();
        return false;
    }

    // Records from the host arrive through the window's notifier from now on.
    m_dlg.WatchChatSocket();
    m_dlg.SendChat(Text(login_texts::kJoinLine));
    m_dlg.SetSoundOn(true);

    // Records that came in the same packet as the answer are already in the reader and
    // would raise no notification of their own.
    if (chat.HasBufferedInput()) {
        CKestrivanDlg* dlg = &m_dlg;
        QMetaObject::invokeMethod(
            dlg,
            [dlg] {
                if (dlg->m_pChatSocket && dlg->m_pChatSocket->HasBufferedInput())
                    dlg->ProcessPendingRead();
            },
            Qt::QueuedConnection);
    }
    return true;
}
