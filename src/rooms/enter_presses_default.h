#pragma once

#include <QObject>
#include <functional>

// Multi-line edits of the small dialogs do not take the Enter key: it presses the
// dialog's default button instead (Shift+Enter still breaks the line).
class EnterPressesDefault : public QObject {
    Q_OBJECT

public:
    EnterPressesDefault(QObject* edit, std::function<void()> press);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> press_;
};
