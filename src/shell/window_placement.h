#pragma once

#include <QList>
#include <QObject>
#include <QRect>

class QWidget;
class SettingsStore;

// Where a window saved at `saved` opens among the screens' available areas: in place when
// enough of it is still on one screen (made to fit that screen), otherwise at its size,
// fitted to the primary screen and centred on it. Never smaller than `minimum`.
QRect PlaceOnScreens(const QRect& saved, const QList<QRect>& screens, const QRect& primary,
                     const QSize& minimum);

// Remembers the main window's size, position and maximised state per user, and puts the
// window back there on the next start.
class WindowPlacementKeeper : public QObject {
public:
    WindowPlacementKeeper(QWidget& window, SettingsStore& settings);

    // Before the window is first shown.
    void Restore();
    void Save();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& window_;
    SettingsStore& settings_;
};
