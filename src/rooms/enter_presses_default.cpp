#include "rooms/enter_presses_default.h"

#include <QKeyEvent>

EnterPressesDefault::EnterPressesDefault(QObject* edit, std::function<void()> press)
    : QObject(edit), press_(std::move(press)) {
    edit->installEventFilter(this);
}

bool EnterPressesDefault::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && !(key->modifiers() & Qt::ShiftModifier)) {
            if (press_) press_();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
