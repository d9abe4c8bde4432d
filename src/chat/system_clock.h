#pragma once

#include "app/seams.h"

// The local wall clock.
class SystemClock : public IClock {
public:
    QDateTime Now() const override;
};
