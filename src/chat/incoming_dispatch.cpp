#include <QElapsedTimer>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include "app/blocking_wait.h"
#include "app/install_paths.h"
#include "chat/chat_texts.h"
#include "chat/kestrivan_dlg.h"
#include "chat/record_fields.h"
#include "chat/web_address.h"
#include "chat/window_operations.h"
#include "net/protocol.h"

namespace {

// While another exchange blocks, the next turn is tried again after this long.
constexpr int kRetryWhileBlockedMs = 10;

}  // namespace

void CKestrivanDlg::ProcessPendingRead() {
    // A turn is already running further up the stack (a handler waited on something);
    // that turn goes on with whatever has arrived.
    if (readingRecords_) return;
    readingRecords_ = true;
    if (chatNotifier_) chatNotifier_->setEnabled(false);

    QElapsedTimer slice;
    slice.start();
    bool more = false;
    do {
        ReceiveOneRecord();
        more = m_pChatSocket && m_pChatSocket->IsOpen() && m_pChatSocket->HasBufferedInput();
    } while (more && slice.elapsed() < m_readSlice.count());

    readingRecords_ = false;
    if (chatNotifier_) chatNotifier_->setEnabled(true);
    // Bytes already taken from the socket raise no further notification: go on with
    // them on the event loop's next turn.
    if (more) ContinueReadingLater();
}

void CKestrivanDlg::ContinueReadingLater() {
    if (continuationPending_) return;
    continuationPending_ = true;
    QTimer::singleShot(0, this, [this] {
        continuationPending_ = false;
        if (services_.blockingWait && services_.blockingWait->InsideWait()) {
            // Never inside another exchange: try again once it has finished.
            continuationPending_ = true;
            QTimer::singleShot(kRetryWhileBlockedMs, this, [this] {
                continuationPending_ = false;
                ContinueReadingLater();
            });
            return;
        }
        if (m_pChatSocket && m_pChatSocket->IsOpen() && m_pChatSocket->HasBufferedInput())
            ProcessPendingRead();
    });
}

void CKestrivanDlg::ReceiveOneRecord() {
    if (!m_pChatSocket || !m_pChatSocket->IsOpen()) return;
    CMsg msg;
    try {
        m_pChatSocket->ReceiveMsg(msg);
    } catch (const zorvi::StreamFailure&) {
        AppendChatLine(QString(chat_texts::kConnectionError));
        CloseChatAfterError();
        return;
    }
    try {
        DispatchRecord(msg);
    } catch (const zorvi::StreamFailure&) {
        // A handler's own exchange failed; the chat stream itself is still in place.
        AppendChatLine(QString(chat_texts::kConnectionError));
    }
}

void CKestrivanDlg::CloseChatAfterError() {
    // A record was cut short, malformed or timed out: what follows cannot be read as
    // records. Joining a room connects afresh.
    if (!m_pChatSocket) return;
    m_pChatSocket->ShutdownSend();
    m_pChatSocket->Close();
}

void CKestrivanDlg::DispatchRecord(CMsg& msg) {
    emit recordArrived(msg);
    switch (msg.code2) {
        case code2::kPrivateMessage: {
            PlayProgramSound(ProgramSound::PrivateMessage);
            if (!msg.text.empty())
                AppendChatLine(FirstEntry(msg) + chat_texts::kPrivateMessageArrow + TextOf(msg));
            break;
        }
        case code2::kChatLine: {
            // The lines go to the end in one insertion: a busy room sends many per record.
            QString lines;
            for (const std::string& line : msg.list)
                lines += QString::fromStdString(line) + QLatin1String("\r\n");
            if (!lines.isEmpty()) AppendChatLine(lines.chopped(2));
            break;
        }
        case code2::kSoundEffect:
            Effects().ReceiveSoundEffect(TextOf(msg), FirstEntry(msg));
            break;
        case code2::kImageEffect:
        case code2::kImageEffectAlt:
            Effects().ReceiveImageEffect(TextOf(msg), FirstEntry(msg));
            break;
        case code2::kClosing:
            AppendChatLine(QString(chat_texts::kDisconnected));
            if (m_pChatSocket) m_pChatSocket->DrainAndClose();
            break;
        case code2::kPersonEntered:
            AddRoomUser(TextOf(msg), msg.number != 0);
            break;
        case code2::kPersonLeft:
            RemoveRoomUser(TextOf(msg));
            break;
        case code2::kPortalAddress: {
            // Only web pages: the server does not get to open local files or run script.
            const QString address = TextOf(msg);
            if (!IsAcceptedWebAddress(address))
                AppendChatLine(RefusedAddressLine(address));
            else
                m_portalBrowser->Navigate(address);
            break;
        }
        case code2::kBeep:
            if (!msg.list.empty()) AppendChatLine(FirstEntry(msg));
            PlayProgramSound(ProgramSound::Beep);
            break;
        case code2::kGiveOwnership:
            OnBecomeOwner(msg);
            break;
        case code2::kLiveShowStart:
            Effects().LiveShowByAddress(msg);
            break;
        case code2::kOwnerChanged:
            OnOwnerChanged(msg);
            break;
        case code2::kServerList:
            RewriteServerList(msg);
            break;
        case code2::kLiveShowPlaylist:
            Effects().LiveShowByPlaylist(msg);
            break;
        default:
            break;  // 12 and unknown codes: nothing to do
    }
}

void CKestrivanDlg::RewriteServerList(const CMsg& msg) {
    if (!services_.settings) return;
    const QString path = WritablePath(*services_.settings, QStringLiteral("config/server.cfg"));
    // A file that cannot be written keeps the login dialog on the servers it knows.
    if (path.isEmpty()) return;
    // The new list replaces the old one only once it is wholly on disk: a failed write
    // leaves the old list as it was. Like every other file failure, it is not shown.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    for (const std::string& entry : msg.list) {
        const QByteArray line = QByteArray::fromStdString(entry) + "\r\n";
        if (file.write(line) != line.size()) {
            file.cancelWriting();
            return;
        }
    }
    // The writes are buffered: a full disk shows only when the buffer reaches the file,
    // and commit() does not count a failed flush as a failed write.
    if (!file.flush()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}
