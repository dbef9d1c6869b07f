#include "io/jsonstream.h"

namespace qs {

using nlohmann::json;

JsonStream::JsonStream(Input& in, ListTest isList, SideObject side)
    : in_(in), isList_(std::move(isList)), side_(std::move(side)) {
    producer_ = std::thread([this] { parse(); });
}

JsonStream::~JsonStream() { stop(); }

bool JsonStream::waitForList() {
    std::unique_lock<std::mutex> l(lock_);
    ready_.wait(l, [this] { return listOpen_ || ended_; });
    return listOpen_;
}

JsonStream::Next JsonStream::next(json& item, std::size_t& index) {
    std::unique_lock<std::mutex> l(lock_);
    ready_.wait(l, [this] { return !items_.empty() || ended_; });
    if (items_.empty()) {
        if (error_.empty() || errorReported_) return Next::End;
        errorReported_ = true;
        index = taken_;
        return Next::Broken;
    }
    item = std::move(items_.front());
    items_.pop_front();
    index = taken_++;
    room_.notify_one();
    return Next::Item;
}

// The producer: parses the whole stream, handing over list elements.
void JsonStream::parse() {
    int listDepth = -1;  // the depth of the list's elements while it is open
    std::string key;
    try {
        json doc = json::parse(*in_.in, [&](int depth, json::parse_event_t e, json& v) {
            if (cancel_) throw Cancelled();
            if (e == json::parse_event_t::key && depth == 1) key = v.get<std::string>();
            if (e == json::parse_event_t::array_start && listDepth < 0 && !listSeen_ &&
                (depth == 0 || (depth == 1 && isList_(key)))) {
                listDepth = depth + 1;
                openList(depth == 0 ? "$" : "$." + key, depth == 0 ? "" : key);
                return true;
            }
            if (depth == 2 && listDepth < 0 && e == json::parse_event_t::object_end) side_(key, v);
            if (depth == listDepth - 1 && e == json::parse_event_t::array_end) {
                listDepth = -1;
                return true;
            }
            bool element = depth == listDepth && (e == json::parse_event_t::object_end ||
                                                  e == json::parse_event_t::array_end ||
                                                  e == json::parse_event_t::value);
            if (!element) return true;
            hand(std::move(v));
            return false;
        });
        std::lock_guard<std::mutex> l(lock_);
        doc_ = std::move(doc);
    } catch (const Cancelled&) {
    } catch (const json::exception& e) {
        std::lock_guard<std::mutex> l(lock_);
        error_ = e.what();
    }
    std::lock_guard<std::mutex> l(lock_);
    ended_ = true;
    fraction_ = 1.0;
    ready_.notify_all();
}

void JsonStream::openList(const std::string& path, const std::string& key) {
    std::lock_guard<std::mutex> l(lock_);
    listSeen_ = listOpen_ = true;
    listPath_ = path;
    listKey_ = key;
    ready_.notify_all();
}

void JsonStream::hand(json&& v) {
    std::unique_lock<std::mutex> l(lock_);
    room_.wait(l, [this] { return items_.size() < kQueued || cancel_; });
    if (cancel_) throw Cancelled();
    items_.push_back(std::move(v));
    double f = in_.done();
    if (f > 0) fraction_ = f;
    ready_.notify_all();
}

void JsonStream::stop() {
    {
        std::lock_guard<std::mutex> l(lock_);
        cancel_ = true;
    }
    room_.notify_all();
    if (producer_.joinable()) producer_.join();
}

}  // namespace qs
