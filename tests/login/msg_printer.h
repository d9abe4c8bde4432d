#pragma once

#include <ostream>

#include "net/cmsg.h"

// Readable failure messages for records.
inline void PrintTo(const CMsg& m, std::ostream* os) {
    *os << "{" << m.code1 << ", " << m.code2 << "} text=\"" << m.text << "\" list=[";
    for (const auto& s : m.list) *os << "\"" << s << "\" ";
    *os << "] number=" << m.number << " array=" << m.array.size();
}
