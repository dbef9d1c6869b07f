#include "io/jsonvalue.h"

namespace qs {

using nlohmann::json;

std::string typeOf(const json& v) {
    if (!v.is_object()) return std::string();
    auto t = v.find("type");
    return t != v.end() && t->is_string() ? t->get<std::string>() : std::string();
}

std::string idText(const json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_unsigned() || v.is_number_integer()) return v.dump();
    return std::string();
}

std::string labelText(const json& v) {
    std::string t = idText(v);
    return t.empty() && !v.is_null() ? v.dump() : t;
}

std::optional<long long> integer(const json& a, const char* key) {
    auto it = a.find(key);
    if (it == a.end() || !(it->is_number_integer() || it->is_number_unsigned())) return std::nullopt;
    return it->get<long long>();
}

}  // namespace qs
