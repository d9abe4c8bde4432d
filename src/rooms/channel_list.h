#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include "rooms/room_context.h"

class QTreeWidgetItem;
class RoomLifecycle;

// The channel list view: fetching the rooms from the service, sorting by a column, and
// moving into the room chosen in it.
class ChannelList : public QObject {
    Q_OBJECT

public:
    // Column-1 images: a crossed-out speaker for rooms marked without audio, else a speaker.
    enum Image { kNoAudioImage = 0, kAudioImage = 1 };
    // Item data roles of a row.
    static constexpr int kImageRole = Qt::UserRole;        // column 1: the image number
    static constexpr int kSortKeyRole = Qt::UserRole + 1;  // column 0: the sort key

    ChannelList(RoomContext& ctx, RoomLifecycle& lifecycle, QObject* parent = nullptr);

    // Wires the list's double click and header clicks; the window's list must exist.
    void Attach();

    void RefreshChannelList();
    int LookUpRoom(const QString& name);
    void ChangeRoom();
    void OnChannelColumnClick(int column);
    static int CompareChannels(const QVariant& key1, const QVariant& key2, int column);

    // How long a refresh may take before the progress window shows (ms).
    void SetProgressDelay(int ms) { progressDelayMs_ = ms; }

private:
    void FillRows();
    void EnterAsMember(const QString& name, bool liveShow);

    RoomContext& ctx_;
    RoomLifecycle& lifecycle_;
    int progressDelayMs_ = 500;
};
