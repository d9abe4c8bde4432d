#include <QPlainTextEdit>

#include "chat/chat_input_keys.h"
#include "chat/chat_texts.h"
#include "chat/kestrivan_dlg.h"
#include "chat/window_operations.h"
#include "net/protocol.h"

namespace {

QString WithoutLeadingSpace(const QString& s) {
    qsizetype i = 0;
    while (i < s.size() && s.at(i).isSpace()) ++i;
    return s.mid(i);
}

// The text after `from` up to the next blank (or the end), leading white space removed.
QString WordAfter(const QString& line, qsizetype from) {
    const qsizetype end = line.indexOf(QLatin1Char(' '), from);
    return WithoutLeadingSpace(end < 0 ? line.mid(from) : line.mid(from, end - from));
}

}  // namespace

void CKestrivanDlg::OnSendButton() {
    const QString line = WithoutLeadingSpace(m_chatInput->toPlainText());
    if (!line.isEmpty()) {
        if (inputKeys_) inputKeys_->Remember(line);
        SendChat(line);
    }
    m_chatInput->clear();
    m_chatInput->setFocus();
}

void CKestrivanDlg::SendChat(const QString& line) {
    if (line.startsWith(QLatin1Char('/'))) {
        if (!ProcessCommand(line)) AppendChatLine(QString(chat_texts::kUnknownCommand));
        return;
    }
    // Not in a room (or the connection was given up): the line has nowhere to go.
    if (!m_pChatSocket || !m_pChatSocket->HasOutputWriter()) return;
    if (ContainsBadWord(line)) {
        ShowMessage(QString(chat_texts::kBadWordWarning));
        return;
    }
    CMsg msg(code1::kUserAction, code2::kChatLine);
    msg.text = (m_nickname + chat_texts::kSpeakerSeparator + line).toStdString();
    try {
        m_pChatSocket->SendMsg(msg);
    } catch (const zorvi::StreamFailure&) {
        AppendChatLine(QString(chat_texts::kRoomLineSendFailed));
    }
}

bool CKestrivanDlg::ContainsBadWord(const QString& line) {
    static constexpr QLatin1String kBadWords[] = {QLatin1String("fuck"), QLatin1String("Fuck"),
                                                  QLatin1String("cunt"), QLatin1String("Cunt")};
    for (const QLatin1String& word : kBadWords)
        if (line.contains(word, Qt::CaseSensitive)) return true;
    return false;
}

bool CKestrivanDlg::SendOnChat(const CMsg& msg) {
    if (!m_pChatSocket || !m_pChatSocket->HasOutputWriter()) return false;
    try {
        m_pChatSocket->SendMsg(msg);
        return true;
    } catch (const zorvi::StreamFailure&) {
        return false;
    }
}

void CKestrivanDlg::BeepPerson(const QString& name) {
    CMsg msg(code1::kRequest, code2::kBeep);
    msg.text = name.toStdString();
    msg.list.push_back((m_nickname + chat_texts::kBeepSuffix).toStdString());
    if (!SendOnChat(msg)) AppendChatLine(QString(chat_texts::kBeepFailed));
}

bool CKestrivanDlg::ProcessCommand(const QString& line) {
    const qsizetype firstSpace = line.indexOf(QLatin1Char(' '));
    const QString word = firstSpace < 0 ? line.mid(1) : line.mid(1, firstSpace - 1);
    const QString argument = firstSpace < 0 ? QString() : WordAfter(line, firstSpace + 1);

    if (word == QLatin1String("help")) {
        for (const QLatin1String& text : chat_texts::kHelpLines) AppendChatLine(QString(text));
        return true;
    }
    if (word == QLatin1String("msg")) {
        const qsizetype secondSpace =
            firstSpace < 0 ? -1 : line.indexOf(QLatin1Char(' '), firstSpace + 1);
        QString recipient;
        QString message;
        if (secondSpace >= 0) {
            recipient = WithoutLeadingSpace(line.mid(firstSpace + 1, secondSpace - firstSpace - 1));
            message = WithoutLeadingSpace(line.mid(secondSpace + 1));
        }
        if (recipient.isEmpty() || message.isEmpty()) {
            AppendChatLine(QString(chat_texts::kLineBreak));
            AppendChatLine(QString(chat_texts::kMsgUsage));
        } else {
            Rooms().SendPrivateMessage(message, recipient);
        }
        return true;
    }
    if (word == QLatin1String("kick")) {
        if (!m_isOwner) {
            ShowMessage(QString(chat_texts::kKickNotOwner));
        } else if (argument.isEmpty()) {
            AppendChatLine(QString(chat_texts::kBlank));
            AppendChatLine(QString(chat_texts::kKickUsage));
        } else if (argument == m_nickname) {
            AppendChatLine(QString(chat_texts::kBlank));
            AppendChatLine(QString(chat_texts::kKickSelf));
        } else {
            CMsg msg(code1::kUserAction, code2::kKick);
            msg.text = argument.toStdString();
            msg.list.push_back(m_nickname.toStdString());
            if (!SendOnChat(msg)) AppendChatLine(QString(chat_texts::kKickFailed));
        }
        return true;
    }
    if (word == QLatin1String("beep")) {
        if (argument.isEmpty()) {
            AppendChatLine(QString(chat_texts::kLineBreak));
            AppendChatLine(QString(chat_texts::kBeepUsage));
        } else {
            BeepPerson(argument);
        }
        return true;
    }
    if (word == QLatin1String("find")) {
        if (argument.isEmpty()) {
            AppendChatLine(QString(chat_texts::kLineBreak));
            AppendChatLine(QString(chat_texts::kFindUsage));
        } else {
            const QString room = Rooms().FindUser(argument);
            if (room.isEmpty())
                AppendChatLine(argument + chat_texts::kFindNowhere);
            else
                AppendChatLine(argument + chat_texts::kFindInRoomHead + room +
                               chat_texts::kFindInRoomTail);
        }
        return true;
    }
    return false;
}
