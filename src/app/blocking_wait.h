#pragma once

#include <functional>

// While a socket call blocks, the window must keep repainting but no other handler may run
// in the middle of the exchange. The hook processes pending events except user input and
// socket notifications; handlers driven by timers ask InsideWait() and skip their turn.
class BlockingWait {
public:
    std::function<void()> Hook();
    bool InsideWait() const { return depth_ > 0; }

private:
    int depth_ = 0;
};
