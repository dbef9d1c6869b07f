// A JSON document parsed in a thread of its own, one record at a time: each
// element of the record list (a member of the top-level object, or the
// top-level list itself) is handed over as soon as it closes and dropped
// from the document, so memory holds a few records whatever the file's
// size. The rest of the document is kept.
#ifndef QEL_IO_JSONSTREAM_H
#define QEL_IO_JSONSTREAM_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "io/input.h"

namespace qs {

class JsonStream {
public:
    // Whether the member of the top-level object named key holds the records.
    using ListTest = std::function<bool(const std::string& key)>;
    // Told, on the parsing thread, of each object directly inside another
    // member of the top-level object, with the member's key.
    using SideObject = std::function<void(const std::string& key, const nlohmann::json& object)>;

    // Starts parsing in, which outlives the stream.
    JsonStream(Input& in, ListTest isList, SideObject side);
    ~JsonStream();  // stops the parse
    JsonStream(const JsonStream&) = delete;
    JsonStream& operator=(const JsonStream&) = delete;

    // Waits until the record list opens or the document ends: whether a
    // list opened. When none did, error() and document() tell the rest.
    bool waitForList();
    // The key of the list ("" for a top-level list), and where it is ("$",
    // "$.features"); empty when no list opened.
    const std::string& listKey() const { return listKey_; }
    const std::string& listPath() const { return listPath_; }
    // Why the parse stopped early (nlohmann's message); empty when it did not.
    const std::string& error() const { return error_; }
    // The document without the list's elements, once the parse has ended.
    nlohmann::json& document() { return doc_; }

    // Item: the list's next element and its position in the list. Broken,
    // once, when the document ends in error() before the list does, index
    // being where the list broke off. End after that.
    enum class Next { Item, Broken, End };
    Next next(nlohmann::json& item, std::size_t& index);

    // How much of the input has been parsed, from 0 to 1.
    double done() const { return fraction_; }

private:
    static constexpr std::size_t kQueued = 64;
    struct Cancelled {};

    void parse();
    void openList(const std::string& path, const std::string& key);
    void hand(nlohmann::json&& v);
    void stop();

    Input& in_;
    ListTest isList_;
    SideObject side_;
    std::mutex lock_;
    std::condition_variable ready_, room_;
    std::deque<nlohmann::json> items_;
    nlohmann::json doc_;
    std::string listKey_, listPath_, error_;
    std::size_t taken_ = 0;
    bool listSeen_ = false, listOpen_ = false, ended_ = false, errorReported_ = false;
    std::atomic<bool> cancel_{false};
    std::atomic<double> fraction_{0.0};
    std::thread producer_;
};

}  // namespace qs

#endif
