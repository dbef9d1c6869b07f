#include "io/archive.h"

#include "platform/std/archive.h"

namespace qs {

namespace {

class ArchiveSource : public Source {
public:
    explicit ArchiveSource(std::unique_ptr<Input> in) : in_(std::move(in)) {
        format_ = Format::Archive;
    }
    bool next(Record& r) override {
        r = Record();
        if (stopped_ || in_->in->peek() == std::char_traits<char>::eof()) return false;
        r.where = in_->path + ": archive " + std::to_string(index_++);
        try {
            std::shared_ptr<krPersistent> obj = kfLoad(*in_->in);
            if (!obj) throw InputError("the archive holds a null object");
            r.shape = fromLibrary(*obj);
        } catch (const krException& e) {
            r.error = describe(e) + "; the rest of the file is skipped";
            stopped_ = true;
        } catch (const InputError& e) {
            r.error = e.what();
        }
        return true;
    }
    double done() const override { return in_->done(); }

private:
    std::unique_ptr<Input> in_;
    long index_ = 0;
    bool stopped_ = false;
};

}  // namespace

std::unique_ptr<Source> openArchive(std::unique_ptr<Input> in) {
    return std::make_unique<ArchiveSource>(std::move(in));
}

std::string archiveBytes(const Shape& s, unsigned long index) {
    std::vector<unsigned char> bytes = kfStore(*toLibrary(s, index));
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace qs
