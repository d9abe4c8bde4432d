#pragma once

#include <QIcon>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <functional>

// The notification-area icon as the shell uses it. The program binds it to QSystemTrayIcon
// (TrayIcon); tests bind a fake that can play a desktop with or without a notification area.
class ITrayIcon {
public:
    // What the icon reports, reduced to the mouse messages the shell tells apart.
    enum class Event { LeftDoubleClick, RightButtonDown, Other };
    using NotifyHandler = std::function<void(int id, Event event)>;

    virtual ~ITrayIcon() = default;
    // False when the desktop offers no notification area.
    virtual bool available() const = 0;
    virtual void show(int id, const QIcon& icon, const QString& tip) = 0;
    virtual void hide() = 0;
    virtual bool isShown() const = 0;
    // Pops up a menu of `items` (an empty item is a separator) at `pos` and answers the
    // chosen item's index, or -1 when the user chose nothing.
    virtual int menu(const QStringList& items, const QPoint& pos) = 0;
    virtual void setNotifyHandler(NotifyHandler handler) = 0;
};
