#include "shell/attention_tracker.h"

#include <QRegularExpression>
#include <QStringList>

#include "chat/chat_texts.h"
#include "net/protocol.h"
#include "shell/notifier_seam.h"
#include "shell/shell_texts.h"

namespace {

using chat_texts::kBeepSuffix;
using chat_texts::kSpeakerSeparator;

QString Speaker(const QString& line) {
    const qsizetype at = line.indexOf(kSpeakerSeparator);
    return at < 0 ? QString() : line.left(at);
}

QString Said(const QString& line) {
    const qsizetype at = line.indexOf(kSpeakerSeparator);
    return at < 0 ? line : line.mid(at + kSpeakerSeparator.size());
}

}  // namespace

bool AttentionTracker::NamesUser(const QString& line, const QString& nickname) {
    if (nickname.isEmpty() || Speaker(line) == nickname) return false;
    const QRegularExpression word(
        QStringLiteral("(?<![\\w])") + QRegularExpression::escape(nickname) +
            QStringLiteral("(?![\\w])"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return word.match(Said(line)).hasMatch();
}

void AttentionTracker::OnRecord(const CMsg& msg, const QString& nickname, bool away) {
    if (!away) return;
    switch (msg.code2) {
        case code2::kPrivateMessage: {  // a private message: shown when it has a text
            if (msg.text.empty()) return;
            ++unread_;
            const QString sender =
                msg.list.empty() ? QString() : QString::fromStdString(msg.list.front());
            notifier_.Notify(QStringLiteral("Private message from ") + sender,
                             QString::fromStdString(msg.text));
            return;
        }
        case code2::kBeep: {  // a beep: "<sender> Beep you!"
            if (msg.list.empty()) return;
            ++unread_;
            QString sender = QString::fromStdString(msg.list.front());
            if (sender.endsWith(kBeepSuffix)) sender.chop(kBeepSuffix.size());
            notifier_.Notify(QStringLiteral("Beep from ") + sender, QString());
            return;
        }
        case code2::kChatLine: {
            unread_ += int(msg.list.size());
            // One notification per record, for the first line that names the user.
            for (const std::string& entry : msg.list) {
                const QString line = QString::fromStdString(entry);
                if (!NamesUser(line, nickname)) continue;
                notifier_.Notify(Speaker(line) + QStringLiteral(" mentioned you"), Said(line));
                return;
            }
            return;
        }
        default:
            return;
    }
}

QString AttentionTracker::TrayTip() const {
    if (unread_ == 0) return shell_texts::TrayTip();
    return shell_texts::TrayTip() + QStringLiteral(": %1 unread").arg(unread_);
}
