#include "app/blocking_wait.h"

#include <QCoreApplication>
#include <QEventLoop>

std::function<void()> BlockingWait::Hook() {
    return [this] {
        if (depth_ > 0 || QCoreApplication::instance() == nullptr) return;
        ++depth_;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::ExcludeSocketNotifiers);
        --depth_;
    };
}
