#pragma once

#include <QString>
#include <functional>

// Desktop notifications as the shell uses them. The program binds this to the desktop's
// notification service (DesktopNotifier); tests bind a recording fake.
class INotifier {
public:
    virtual ~INotifier() = default;
    // Shows one notification. `summary` and `body` are plain text.
    virtual void Notify(const QString& summary, const QString& body) = 0;
    // Called when the user activates a notification shown by this notifier.
    virtual void SetActivationHandler(std::function<void()> handler) = 0;
};
