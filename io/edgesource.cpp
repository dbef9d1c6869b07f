#include "io/edgesource.h"

#include "cntr/edgeshapes.h"
#include "io/png.h"

namespace qs {

namespace {

Ring ring(const krContour& c) { return c.points(); }

Ring ring(const kr_EdgeChain& c) {
    Ring r;
    r.reserve(c.points.size());
    for (const kr_EdgePoint& p : c.points) r.emplace_back(p.x, p.y);
    return r;
}

class EdgeSource : public Source {
public:
    EdgeSource(const krGreyImage& image, const std::string& path, const kr_EdgeParams& params) : path_(path) {
        format_ = Format::Png;
        chains_ = kfFindEdges(image.view(), params);
        nesting_ = kf_NestEdgeChains(chains_, kf_EdgeMagnitudeScale(image.view()));
    }

    bool next(Record& r) override {
        r = Record();
        if (next_ == chains_.size()) return false;
        const std::size_t i = next_++;
        const kr_EdgeChain& c = chains_[i];
        r.where = path_ + ": chain " + std::to_string(i);
        Shape s;
        s.label = s.id = std::to_string(i);
        s.kind = !c.closed ? Kind::OpenContour : c.points.size() < 3 ? Kind::ClosedContour : Kind::Region;
        Polygon p;
        p.outer = ring(c);
        if (const auto& region = nesting_.regions[i])
            for (const auto& h : region->holes()) p.holes.push_back(ring(*h));
        s.polygons.push_back(std::move(p));
        const long parent = nesting_.parent[i];
        if (nesting_.hole[i]) s.notes.push_back("a hole of chain " + std::to_string(parent));
        s.properties = std::string("{\"closed\":") + (c.closed ? "true" : "false") + ",\"parent\":" +
                       (parent < 0 ? "null" : std::to_string(parent)) + ",\"hole\":" +
                       (nesting_.hole[i] ? "true" : "false") + "}";
        r.shape = std::move(s);
        return true;
    }
    double done() const override { return chains_.empty() ? 1.0 : double(next_) / double(chains_.size()); }

private:
    std::string path_;
    std::vector<kr_EdgeChain> chains_;
    kr_EdgeNesting nesting_;
    std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<Source> openEdges(std::istream& in, const std::string& path, const kr_EdgeParams& params) {
    const krGreyImage image = readGreyPng(in, path);
    try {
        return std::make_unique<EdgeSource>(image, path, params);
    } catch (const krException& e) {
        throw InputError(path + ": " + describe(e));
    }
}

}  // namespace qs
