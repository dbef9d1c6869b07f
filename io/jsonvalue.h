// What the JSON readers take from a value, whatever the format: its type
// member, an id or label as text, a whole number.
#ifndef QEL_IO_JSONVALUE_H
#define QEL_IO_JSONVALUE_H

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace qs {

// An object's "type" member, or nothing when it has no such string.
std::string typeOf(const nlohmann::json& v);

// An id: a string as it is, a whole number as written, else nothing.
std::string idText(const nlohmann::json& v);

// The label a field names: a string as it is, a number as written, anything
// else as its JSON text.
std::string labelText(const nlohmann::json& v);

// The object's member key when it is a whole number.
std::optional<long long> integer(const nlohmann::json& a, const char* key);

}  // namespace qs

#endif
