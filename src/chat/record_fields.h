#pragma once

#include <QString>

#include "net/cmsg.h"

// Text fields of received records. A record whose list is empty reads as an empty name
// rather than past the end of the list.
inline QString FirstEntry(const CMsg& msg) {
    return msg.list.empty() ? QString() : QString::fromStdString(msg.list.front());
}

inline QString LastEntry(const CMsg& msg) {
    return msg.list.empty() ? QString() : QString::fromStdString(msg.list.back());
}

inline QString TextOf(const CMsg& msg) { return QString::fromStdString(msg.text); }
