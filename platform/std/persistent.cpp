#include "platform/std/persistent.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <typeindex>

#include "platform/std/archive.h"
#include "platform/std/exception.h"

#if defined(__GNUG__)
#include <cxxabi.h>
#endif

// The persistence base's record: a version byte, 0. The tracking flag and the
// notice count describe this object's life in memory, not its value, so they
// are not stored (a copy does not take them either).
void krPersistent::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<krPersistent*>(this), sizeof(krPersistent), 0,
                     [](unsigned char version) {
                         if (version != 0) throw krArchive::UnknownVersion("krPersistent", 0);
                     });
}

// The exception base's record: a version byte, 0, then the persistence base.
// The message is not part of it: an error's class and number say what it is.
void krException::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<krException*>(this), sizeof(krException), 0,
                     [&](unsigned char version) {
                         if (version != 0) throw krArchive::UnknownVersion("krException", 0);
                         krPersistent::dispatchSerialize(ar);
                     });
}

// ---------------------------------------------------------------------------
// The class registry.

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, std::pair<std::type_index, kr_Instantiator::Factory>> byName;
    std::map<std::type_index, std::string> byType;
};

// Never destroyed: exemplars of other libraries may unregister after this
// library's own static objects are gone.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

std::string demangled(const std::type_info& type) {
#if defined(__GNUG__)
    int status = 0;
    char* text = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    if (status == 0 && text) {
        std::string name(text);
        std::free(text);
        return name;
    }
    std::free(text);
#endif
    return type.name();
}

}  // namespace

kr_Instantiator::kr_Instantiator(const std::type_info& type, Factory make, const char* name)
    : type_(&type), make_(make), name_(name ? name : "") {
    if (name_.empty() || !make_) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    const std::type_index key(type);
    if (r.byName.count(name_) || r.byType.count(key)) return;
    r.byName.emplace(name_, std::make_pair(key, make_));
    r.byType.emplace(key, name_);
    registered_ = true;
}

kr_Instantiator::kr_Instantiator(const std::type_info& type, Factory make)
    : kr_Instantiator(type, make, demangled(type).c_str()) {}

kr_Instantiator::~kr_Instantiator() {
    if (!registered_) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.byName.erase(name_);
    r.byType.erase(std::type_index(*type_));
}

std::string kr_Instantiator::nameOf(const std::type_info& type) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byType.find(std::type_index(type));
    return it == r.byType.end() ? std::string() : it->second;
}

kr_Instantiator::Factory kr_Instantiator::factoryOf(const std::string& name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.byName.find(name);
    return it == r.byName.end() ? nullptr : it->second.second;
}

std::vector<std::string> kr_Instantiator::names() {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    std::vector<std::string> out;
    for (const auto& e : r.byName) out.push_back(e.first);
    return out;
}
