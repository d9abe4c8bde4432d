#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "net/cmsg.h"

namespace zorvid {

// A record as one JSON object: {"code1":14,"code2":52,"text":"ann","list":[],"number":0,
// "array":[]}. Strings are UTF-8; bytes that are not are replaced when written.
nlohmann::json RecordToJson(const CMsg& msg);
// Missing fields stay empty; wrong types throw std::invalid_argument with the field's name.
CMsg RecordFromJson(const nlohmann::json& j);
std::string RecordToJsonLine(const CMsg& msg);

}  // namespace zorvid
