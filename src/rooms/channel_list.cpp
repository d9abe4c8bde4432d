#include "rooms/channel_list.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <algorithm>
#include <limits>
#include <optional>

#include "chat/connect_failure.h"
#include "chat/kestrivan_dlg.h"
#include "net/protocol.h"
#include "rooms/room_dialogs.h"
#include "rooms/room_lifecycle.h"
#include "rooms/room_texts.h"
#include "rooms/room_title.h"
#include "rooms/service_link.h"

namespace {
enum Marker { kMarkerNoAudio = 1, kMarkerLiveShow = 2, kMarkerOther = 3 };

int MarkerOf(const std::string& entry) {
    if (entry.empty()) return kMarkerOther;
    if (entry[0] == '+') return kMarkerLiveShow;
    if (entry[0] == '-') return kMarkerNoAudio;
    return kMarkerOther;
}

// The entry without its first character, whatever that is. The marker is one byte; a name
// is UTF-8, so dropping one byte never splits a character of a well-formed entry.
QString NameOf(const std::string& entry) {
    return entry.empty() ? QString() : FromWire(entry.substr(1));
}

// Leading decimal digits, with an optional sign, as the row's count column is written.
int LeadingNumber(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text[i].isDigit() && text[i].unicode() < 128; ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > std::numeric_limits<int>::max()) break;
    }
    value = std::min<qint64>(value, std::numeric_limits<int>::max());
    return int(negative ? -value : value);
}
}  // namespace

ChannelList::ChannelList(RoomContext& ctx, RoomLifecycle& lifecycle, QObject* parent)
    : QObject(parent), ctx_(ctx), lifecycle_(lifecycle) {}

void ChannelList::Attach() {
    QTreeWidget* list = ctx_.w.m_channelList;
    // The view's own sorting would reorder rows behind CompareChannels' back.
    list->setSortingEnabled(false);
    list->header()->setSectionsClickable(true);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { ChangeRoom(); });
    connect(list->header(), &QHeaderView::sectionClicked, this, &ChannelList::OnChannelColumnClick);
}

void ChannelList::RefreshChannelList() {
    auto& w = ctx_.w;
    if (!w.m_pServiceSocket) return;
    // The progress covers the request and its answer only, not the connecting.
    std::optional<DelayedProgress> progress;
    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kRequest, code2::kChannelListRequest);
    plan.onConnected = [&] {
        progress.emplace(*w.m_pServiceSocket, ctx_.dialogs, RoomTexts::kUpdatingChannels,
                         progressDelayMs_);
    };
    plan.onReplied = [&] { progress.reset(); };
    const auto result = ExchangeWithService(w, plan);
    progress.reset();
    if (!result) return;
    switch (result->failedAt) {
        case zorvi::OneShotStep::Create:
            w.ShowMessage(RoomTexts::kFailConnectChatServer);
            return;
        case zorvi::OneShotStep::Connect:
            w.ShowMessage(ConnectFailureText(*w.m_pServiceSocket, RoomTexts::kFailConnectServer));
            return;
        case zorvi::OneShotStep::Send:
        case zorvi::OneShotStep::Receive:
            w.AppendChatLine(RoomTexts::kChannelUpdateError);
            return;
        case zorvi::OneShotStep::Closing:
        case zorvi::OneShotStep::None:
            // The answer is complete; a lost closing notice changes nothing about it.
            break;
    }

    const CMsg& reply = result->reply;
    QStringList names;
    QVector<int> people;
    QVector<int> audio;
    if (reply.Is(code1::kReply, code2::kChannelList)) {
        for (std::size_t i = 0; i < reply.list.size(); ++i) {
            const std::string& entry = reply.list[i];
            audio.append(MarkerOf(entry));
            names.append(NameOf(entry));
            // A reply may carry fewer counts than rooms; a missing count is nobody.
            people.append(i < reply.array.size() ? reply.array[i] : 0);
        }
    }
    w.ReplaceChannels(std::move(names), std::move(people), std::move(audio));
    FillRows();
}

void ChannelList::FillRows() {
    auto& w = ctx_.w;
    QTreeWidget* list = w.m_channelList;
    list->clear();
    const auto image = [&w, list](int i) {
        if (i < w.m_channelImagesSmall.size()) return w.m_channelImagesSmall[i];
        return list->style()->standardIcon(i == kNoAudioImage ? QStyle::SP_MediaVolumeMuted
                                                              : QStyle::SP_MediaVolume);
    };
    const QIcon noAudio = image(kNoAudioImage);
    const QIcon audio = image(kAudioImage);
    for (qsizetype i = 0; i < w.channelNames().size(); ++i) {
        auto* row = new QTreeWidgetItem;
        row->setText(0, w.channelNames()[i]);
        const int image = w.channelAudio()[i] == kMarkerNoAudio ? kNoAudioImage : kAudioImage;
        row->setData(1, kImageRole, image);
        row->setIcon(1, image == kNoAudioImage ? noAudio : audio);
        row->setData(1, Qt::AccessibleTextRole,
                     image == kNoAudioImage ? QStringLiteral("No audio") : QStringLiteral("Audio"));
        row->setText(2, QString::number(w.channelPeople()[i]));
        list->addTopLevelItem(row);
    }
}

int ChannelList::LookUpRoom(const QString& name) {
    auto& w = ctx_.w;
    zorvi::OneShotPlan plan;
    plan.request = CMsg(code1::kRequest, code2::kRoomLookUp);
    plan.request.text = ToWire(name);
    const auto result = ExchangeWithService(w, plan);
    if (!result || !result->Opened()) return -1;
    int port = -1;
    const CMsg& reply = result->reply;
    // The owner is taken from a complete answer even when its closing notice is lost.
    if (result->Answered() && reply.Is(code1::kReply, code2::kRoomLookUp)) {
        // An answer without a port cannot be joined.
        port = reply.array.empty() ? -1 : reply.array[0];
        w.SetRoomOwner(FromWire(reply.text));
    }
    if (!result->Ok()) {
        w.AppendChatLine(RoomTexts::kUnableConnectServer);
        return -1;
    }
    return port;
}

void ChannelList::ChangeRoom() {
    auto& w = ctx_.w;
    QTreeWidget* list = w.m_channelList;
    const QList<QTreeWidgetItem*> selected = list->selectedItems();
    if (selected.isEmpty()) {
        w.ShowMessage(RoomTexts::kChooseRoom);
        return;
    }
    if (w.isOwner()) {
        if (!w.roomUsers().isEmpty()) {
            w.ShowMessage(RoomTexts::kOwnerMustAssign);
            return;
        }
        if (!w.AskYesNo(RoomTexts::kLoseOwnershipChange)) return;
    }
    const QString name = selected.first()->text(0);
    bool liveShow = false;
    for (qsizetype i = 0; i < w.channelNames().size(); ++i) {
        if (w.channelNames()[i] == name) liveShow = w.channelAudio().value(i) == kMarkerLiveShow;
    }

    // The old room is left while m_chatPort still names it: a failed look-up must not keep
    // the old chat connection open behind the no-room state.
    const int port = LookUpRoom(name);
    lifecycle_.LeaveRoom();
    w.SetRoomPort(port);
    if (w.isOwner()) lifecycle_.RemoveRoom();
    // Whether the join succeeds or not, the old room's ownership is gone.
    if (ctx_.join && ctx_.join()) {
        EnterAsMember(name, liveShow);
    } else {
        lifecycle_.EnterNoRoom(CKestrivanDlg::OwnerLoss::ByRoomChange);
        w.EnterRoom(name);
    }
}

void ChannelList::EnterAsMember(const QString& name, bool liveShow) {
    auto& w = ctx_.w;
    w.EnterRoom(name);
    w.m_mediaPlayer->Stop();
    if (liveShow) {
        CMsg request(code1::kRequest, code2::kLiveShowRequest);
        request.text = ToWire(w.roomName());
        try {
            if (w.m_pChatSocket) w.m_pChatSocket->SendMsg(request);
        } catch (const zorvi::StreamFailure&) {
            // Without the show the room is still usable; the request is simply lost.
        }
        w.m_mediaPlayer->Stop();
    }
    w.AppendChatLine(RoomTexts::kWelcomePrefix + w.nickname() + RoomTexts::kWelcomeSuffix);
    w.m_roomTitleEdit->setText(RoomTitleLine(w.roomName(), w.ownerName()));
    lifecycle_.EnableConversation();
    w.setWindowTitle(RoomTexts::kWindowTitle);
    w.GiveUpOwnership(CKestrivanDlg::OwnerLoss::ByRoomChange);
    RefreshChannelList();
}

void ChannelList::OnChannelColumnClick(int column) {
    auto& w = ctx_.w;
    QTreeWidget* list = w.m_channelList;
    QList<QTreeWidgetItem*> rows;
    while (list->topLevelItemCount() > 0) rows.append(list->takeTopLevelItem(0));
    for (QTreeWidgetItem* row : std::as_const(rows)) {
        QVariant key;
        switch (column) {
            case 0: {
                const qsizetype at = w.channelNames().indexOf(row->text(0));
                key = at >= 0 ? w.channelNames()[at] : QString();
                break;
            }
            case 1:
                key = row->data(1, kImageRole).toInt() == kAudioImage ? 1 : 0;
                break;
            case 2:
                key = LeadingNumber(row->text(2));
                break;
            default:
                key = 0;
                break;
        }
        row->setData(0, kSortKeyRole, key);
    }
    // CompareChannels calls equal counts "less" both ways round; a sort needs a strict
    // ordering, so a row goes first only when the comparison agrees from both sides.
    std::stable_sort(rows.begin(), rows.end(), [column](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        const QVariant ka = a->data(0, kSortKeyRole);
        const QVariant kb = b->data(0, kSortKeyRole);
        return CompareChannels(ka, kb, column) < 0 && CompareChannels(kb, ka, column) > 0;
    });
    list->addTopLevelItems(rows);
}

int ChannelList::CompareChannels(const QVariant& key1, const QVariant& key2, int column) {
    switch (column) {
        case 0:
            return QString::compare(key1.toString(), key2.toString(), Qt::CaseInsensitive);
        case 1:
        case 2:
            return key1.toInt() < key2.toInt() ? 1 : -1;
        default:
            return -1;
    }
}
