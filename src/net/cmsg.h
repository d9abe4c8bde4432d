#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One message record of the Zorvi protocol. A plain value: every exchange builds a
// fresh one for what it sends and another for what it receives.
struct CMsg {
    std::int32_t code1 = 0;
    std::int32_t code2 = 0;
    std::string text;               // 8-bit bytes (UTF-8 here)
    std::vector<std::string> list;  // read and written head first
    std::int32_t number = 0;
    std::vector<std::int32_t> array;

    CMsg() = default;
    CMsg(std::int32_t c1, std::int32_t c2) : code1(c1), code2(c2) {}

    void Reset() {
        code1 = code2 = number = 0;
        text.clear();
        list.clear();
        std::vector<std::int32_t>().swap(array);  // releases the storage
    }

    bool Is(std::int32_t c1, std::int32_t c2) const { return code1 == c1 && code2 == c2; }
    friend bool operator==(const CMsg&, const CMsg&) = default;
};
