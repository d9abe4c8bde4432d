#include "shell/window_placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/settings_store.h"

namespace {

// A window counts as on a screen when this much of it (or all of it, if smaller) can be
// seen there: enough to grab and move it.
constexpr int kVisibleWidth = 120;
constexpr int kVisibleHeight = 60;

bool ReachableOn(const QRect& window, const QRect& screen) {
    const QRect seen = window.intersected(screen);
    return seen.width() >= qMin(kVisibleWidth, window.width()) &&
           seen.height() >= qMin(kVisibleHeight, window.height());
}

QSize FitTo(const QSize& size, const QRect& screen, const QSize& minimum) {
    return size.boundedTo(screen.size()).expandedTo(minimum);
}

}  // namespace

QRect PlaceOnScreens(const QRect& saved, const QList<QRect>& screens, const QRect& primary,
                     const QSize& minimum) {
    for (const QRect& screen : screens) {
        if (!ReachableOn(saved, screen)) continue;
        QRect placed(saved.topLeft(), FitTo(saved.size(), screen, minimum));
        // Pull it fully onto the screen where it fits, top-left edge winning.
        placed.moveRight(qMin(placed.right(), screen.right()));
        placed.moveBottom(qMin(placed.bottom(), screen.bottom()));
        placed.moveLeft(qMax(placed.left(), screen.left()));
        placed.moveTop(qMax(placed.top(), screen.top()));
        return placed;
    }
    QRect centred(QPoint(), FitTo(saved.size(), primary, minimum));
    centred.moveCenter(primary.center());
    return centred;
}

WindowPlacementKeeper::WindowPlacementKeeper(QWidget& window, SettingsStore& settings)
    : QObject(&window), window_(window), settings_(settings) {
    window_.installEventFilter(this);
}

void WindowPlacementKeeper::Restore() {
    const auto saved = settings_.ReadWindowPlacement();
    if (!saved) return;
    QList<QRect> screens;
    for (QScreen* screen : QGuiApplication::screens()) screens << screen->availableGeometry();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return;
    window_.setGeometry(PlaceOnScreens(saved->geometry, screens, primary->availableGeometry(),
                                       window_.minimumSize()));
    if (saved->maximized) window_.setWindowState(window_.windowState() | Qt::WindowMaximized);
}

void WindowPlacementKeeper::Save() {
    SettingsStore::WindowPlacement placement;
    // The normal geometry, so that a maximised window comes back maximised over its own
    // place and un-maximises to it.
    placement.geometry = window_.isMaximized() || window_.isMinimized() ? window_.normalGeometry()
                                                                        : window_.geometry();
    placement.maximized = window_.isMaximized();
    if (placement.geometry.isValid()) settings_.WriteWindowPlacement(placement);
}

bool WindowPlacementKeeper::eventFilter(QObject* watched, QEvent* event) {
    // Closing, minimising to the tray and the close sequence all hide the window.
    if (watched == &window_ && event->type() == QEvent::Hide && !event->spontaneous()) Save();
    return QObject::eventFilter(watched, event);
}
