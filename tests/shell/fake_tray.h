#pragma once

#include <QStringList>
#include <deque>

#include "shell/tray_icon_seam.h"

// A notification-area icon that records what the shell does with it. `present` plays a
// desktop with or without a notification area; menu choices come from a script (none
// chosen when it runs out).
class FakeTray : public ITrayIcon {
public:
    bool available() const override { return present; }
    void show(int id, const QIcon&, const QString& tip) override {
        shownId = id;
        shownTip = tip;
        shown = true;
    }
    void hide() override {
        shown = false;
        ++hides;
    }
    bool isShown() const override { return shown; }
    int menu(const QStringList& items, const QPoint&) override {
        menus << items;
        if (choices.empty()) return -1;
        const int c = choices.front();
        choices.pop_front();
        return c;
    }
    void setNotifyHandler(NotifyHandler h) override { handler = std::move(h); }

    // Plays the icon reporting a mouse message.
    void Notify(int id, Event e) {
        if (handler) handler(id, e);
    }

    bool present = true;
    bool shown = false;
    int shownId = 0;
    QString shownTip;
    int hides = 0;
    QList<QStringList> menus;
    std::deque<int> choices;
    NotifyHandler handler;
};
