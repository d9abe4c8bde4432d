#include "server/core/json_record.h"

#include <limits>
#include <stdexcept>

namespace zorvid {
namespace {

std::int32_t Int32(const nlohmann::json& v, const char* field) {
    if (!v.is_number_integer())
        throw std::invalid_argument(std::string(field) + " must be an integer");
    const auto n = v.get<long long>();
    // Accept the unsigned spelling of a 32-bit word too (0xFFFFFFFF for -1).
    if (n < std::numeric_limits<std::int32_t>::min() ||
        n > std::numeric_limits<std::uint32_t>::max()) {
        throw std::invalid_argument(std::string(field) + " does not fit in 32 bits");
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
}

}  // namespace

nlohmann::json RecordToJson(const CMsg& msg) {
    return nlohmann::json{{"code1", msg.code1}, {"code2", msg.code2},   {"text", msg.text},
                          {"list", msg.list},   {"number", msg.number}, {"array", msg.array}};
}

CMsg RecordFromJson(const nlohmann::json& j) {
    if (!j.is_object()) throw std::invalid_argument("a record is a JSON object");
    CMsg msg;
    for (const auto& [key, v] : j.items()) {
        if (key == "code1")
            msg.code1 = Int32(v, "code1");
        else if (key == "code2")
            msg.code2 = Int32(v, "code2");
        else if (key == "number")
            msg.number = Int32(v, "number");
        else if (key == "text") {
            if (!v.is_string()) throw std::invalid_argument("text must be a string");
            msg.text = v.get<std::string>();
        } else if (key == "list") {
            if (!v.is_array()) throw std::invalid_argument("list must be an array of strings");
            for (const auto& s : v) {
                if (!s.is_string()) throw std::invalid_argument("list must be an array of strings");
                msg.list.push_back(s.get<std::string>());
            }
        } else if (key == "array") {
            if (!v.is_array()) throw std::invalid_argument("array must be an array of integers");
            for (const auto& n : v) msg.array.push_back(Int32(n, "array element"));
        } else {
            throw std::invalid_argument("unknown field \"" + key + "\"");
        }
    }
    return msg;
}

std::string RecordToJsonLine(const CMsg& msg) {
    return RecordToJson(msg).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace zorvid
