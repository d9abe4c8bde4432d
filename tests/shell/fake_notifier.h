#pragma once

#include <QStringList>

#include "shell/notifier_seam.h"

// Records every notification as "summary | body" and lets a test play the user activating
// one.
class FakeNotifier : public INotifier {
public:
    void Notify(const QString& summary, const QString& body) override {
        shown << summary + QStringLiteral(" | ") + body;
    }
    void SetActivationHandler(std::function<void()> handler) override {
        activate = std::move(handler);
    }
    QStringList shown;
    std::function<void()> activate;
};
