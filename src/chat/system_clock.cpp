#include "chat/system_clock.h"

QDateTime SystemClock::Now() const { return QDateTime::currentDateTime(); }
