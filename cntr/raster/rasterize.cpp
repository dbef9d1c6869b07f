#include "cntr/masks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>

#include "cntr/locate/ringinside.h"
#include "cntr/support/tolerance.h"

using namespace qel::detail;

namespace {

typedef std::vector<std::pair<long, long>> Spans;  // pixel runs [from, to), ascending, apart

// The runs of a or b; the runs of a that b leaves.
Spans unite(const Spans& a, const Spans& b) {
    Spans all(a);
    all.insert(all.end(), b.begin(), b.end());
    std::sort(all.begin(), all.end());
    Spans out;
    for (const auto& s : all) {
        if (!out.empty() && s.first <= out.back().second)
            out.back().second = std::max(out.back().second, s.second);
        else
            out.push_back(s);
    }
    return out;
}

Spans subtract(const Spans& a, const Spans& b) {
    Spans out;
    std::size_t k = 0;
    for (auto s : a) {
        while (k < b.size() && b[k].second <= s.first) ++k;
        for (std::size_t m = k; m < b.size() && b[m].first < s.second; ++m) {
            if (b[m].first > s.first) out.push_back({s.first, b[m].first});
            s.first = std::max(s.first, b[m].second);
        }
        if (s.first < s.second) out.push_back(s);
    }
    return out;
}

// A distinct region among those the fill reaches, with its outline in pixel
// coordinates and its holes by node number.
struct Node {
    const krRegion* region;
    std::vector<krVector<2>> ring;
    std::vector<std::size_t> holes;
};

class Filler {
public:
    Filler(std::size_t width, std::size_t height, const krXform<2>& toShape,
           std::function<bool(const krVector<2>&)> inside)
        : w_(width), h_(height), toShape_(toShape), inside_(std::move(inside)) {}

    // Gathers the nodes under the roots; false when the scanlines cannot
    // serve (a null handle, a singular transform, a coordinate that is not
    // finite).
    bool gather(const std::vector<const krRegion*>& roots, bool considerHoles);
    void fill(unsigned char* out);
    // Every centre asked of inside(), row by row.
    void fillByCentres(unsigned char* out) const;

private:
    std::size_t node(const krRegion* r, bool considerHoles, bool& ok);
    // The steps of fill. Edge k of node node, listed under each row it reaches.
    struct RowEdges {
        struct Edge {
            std::uint32_t node, k;
        };
        std::vector<std::uint32_t> start;  // row r's edges: edges[start[r] .. start[r + 1])
        std::vector<Edge> edges;
    };
    template <class F>
    void forEachEdgeRow(F&& f) const;
    RowEdges edgesByRow() const;
    long firstCentreAbove(double x) const;
    void scanRow(std::size_t j, const RowEdges& rows, std::vector<std::vector<double>>& crossings,
                 Spans& asked) const;
    Spans rowRuns(std::vector<std::vector<double>>& crossings, std::vector<Spans>& runs) const;
    krVector<2> centre(std::size_t i, std::size_t j) const {
        return toShape_ * krVector<2>(static_cast<double>(i) + 0.5, static_cast<double>(j) + 0.5);
    }

    std::size_t w_, h_;
    krXform<2> toShape_;
    std::function<bool(const krVector<2>&)> inside_;
    std::vector<Node> nodes_;   // holes before the regions that hold them
    std::vector<std::size_t> roots_;
    std::unordered_map<const krRegion*, std::size_t> number_;
    double reach_ = 0.0;  // pixel distance within which a centre is asked
};

std::size_t Filler::node(const krRegion* r, bool considerHoles, bool& ok) {
    const auto seen = number_.find(r);
    if (seen != number_.end()) return seen->second;
    number_[r] = ~std::size_t(0);  // a cycle meets this and gives up
    Node n{r, {}, {}};
    if (considerHoles)
        for (const auto& h : r->holes()) {
            if (!h) {
                ok = false;
                return 0;
            }
            const std::size_t k = node(h.get(), true, ok);
            if (!ok || k == ~std::size_t(0)) {
                ok = false;
                return 0;
            }
            n.holes.push_back(k);
        }
    const krXform<2> toPixel = toShape_.inverse();
    for (const krVector<2>& v : r->points()) {
        n.ring.push_back(toPixel * v);
        ok = ok && std::isfinite(n.ring.back().x()) && std::isfinite(n.ring.back().y());
    }
    ok = ok && r->points().size() >= 2;
    nodes_.push_back(std::move(n));
    return number_[r] = nodes_.size() - 1;
}

bool Filler::gather(const std::vector<const krRegion*>& roots, bool considerHoles) {
    const krMatrix<2>& m = toShape_.matrix();
    const double det = m.determinant();
    if (!(det != 0.0) || !std::isfinite(det)) return false;
    bool ok = true;
    for (const krRegion* r : roots) {
        if (!r) return false;
        roots_.push_back(node(r, considerHoles, ok));
        if (!ok) return false;
    }
    // The reach in pixels: the 1e-6 band seen through the inverse (whose
    // Frobenius norm bounds its stretch), and room for the rounding of the
    // pixel coordinates, relative to their size and the transform's condition.
    double inv = 0.0, fwd = 0.0, size = static_cast<double>(std::max(w_, h_));
    const krMatrix<2> im = m.inverse();
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            inv += im.element(i, j) * im.element(i, j);
            fwd += m.element(i, j) * m.element(i, j);
        }
    for (const Node& n : nodes_)
        for (const krVector<2>& v : n.ring) size = std::max({size, std::fabs(v.x()), std::fabs(v.y())});
    const double shift = std::sqrt(inv) * (std::fabs(toShape_.trans().x()) + std::fabs(toShape_.trans().y()));
    reach_ = kInsideScreen * std::sqrt(inv) + knTolerance::kRounding * (1.0 + std::sqrt(inv * fwd)) * (1.0 + size + shift);
    return std::isfinite(reach_) && reach_ < 0.25;
}

void Filler::fillByCentres(unsigned char* out) const {
    for (std::size_t j = 0; j < h_; ++j)
        for (std::size_t i = 0; i < w_; ++i) out[j * w_ + i] = inside_(centre(i, j));
}

// Calls f(row, node, k) for each row whose centre line edge k of a node
// comes within reach of. Rows are clamped before the conversion: pixel
// coordinates may lie far beyond the raster.
template <class F>
void Filler::forEachEdgeRow(F&& f) const {
    const double rows = static_cast<double>(h_);
    for (std::size_t m = 0; m < nodes_.size(); ++m) {
        const std::vector<krVector<2>>& ring = nodes_[m].ring;
        for (std::size_t k = 0; k < ring.size(); ++k) {
            const krVector<2>&a = ring[k == 0 ? ring.size() - 1 : k - 1], &b = ring[k];
            const double lo = std::ceil(std::min(a.y(), b.y()) - reach_ - 0.5);
            const double hi = std::floor(std::max(a.y(), b.y()) + reach_ - 0.5);
            const long r0 = static_cast<long>(std::max(0.0, std::min(lo, rows)));
            const long r1 = static_cast<long>(std::min(rows - 1, std::max(hi, -1.0)));
            for (long r = r0; r <= r1; ++r) f(static_cast<std::size_t>(r), m, k);
        }
    }
}

// The nodes' edges sorted into the rows they reach: a count, then a placing.
Filler::RowEdges Filler::edgesByRow() const {
    RowEdges rows;
    rows.start.assign(h_ + 1, 0);
    forEachEdgeRow([&](std::size_t r, std::size_t, std::size_t) { ++rows.start[r + 1]; });
    for (std::size_t r = 1; r <= h_; ++r) rows.start[r] += rows.start[r - 1];
    rows.edges.resize(rows.start.back());
    std::vector<std::uint32_t> at(rows.start.begin(), rows.start.end() - 1);
    forEachEdgeRow([&](std::size_t r, std::size_t m, std::size_t k) {
        rows.edges[at[r]++] = {static_cast<std::uint32_t>(m), static_cast<std::uint32_t>(k)};
    });
    return rows;
}

// The first column whose centre lies beyond x.
long Filler::firstCentreAbove(double x) const {
    const double width = static_cast<double>(w_);
    return static_cast<long>(std::min(width, std::max(0.0, std::floor(x - 0.5) + 1.0)));
}

// Row j's edges: where each node's boundary crosses the centre line, and the
// centres that come within reach of an edge, which inside() decides.
void Filler::scanRow(std::size_t j, const RowEdges& rows, std::vector<std::vector<double>>& crossings,
                     Spans& asked) const {
    const double y = static_cast<double>(j) + 0.5;
    for (auto& c : crossings) c.clear();
    asked.clear();
    for (std::uint32_t e = rows.start[j]; e < rows.start[j + 1]; ++e) {
        const std::vector<krVector<2>>& ring = nodes_[rows.edges[e].node].ring;
        const std::size_t k = rows.edges[e].k;
        const krVector<2>&a = ring[k == 0 ? ring.size() - 1 : k - 1], &b = ring[k];
        const double dy = b.y() - a.y();
        if ((a.y() > y) != (b.y() > y))
            crossings[rows.edges[e].node].push_back(a.x() + (y - a.y()) * (b.x() - a.x()) / dy);
        // The stretch of the edge within reach of the centre line: the
        // centres near it are asked.
        double t0 = 0.0, t1 = 1.0;
        if (dy != 0.0) {
            const double u = (y - reach_ - a.y()) / dy, v = (y + reach_ - a.y()) / dy;
            t0 = std::max(0.0, std::min(u, v));
            t1 = std::min(1.0, std::max(u, v));
        }
        if (t0 > t1) continue;
        const double x0 = a.x() + t0 * (b.x() - a.x()), x1 = a.x() + t1 * (b.x() - a.x());
        const long from = firstCentreAbove(std::min(x0, x1) - reach_);
        const long to = firstCentreAbove(std::max(x0, x1) + reach_);
        if (from < to) asked.push_back({from, to});
    }
}

// The row's runs between crossings, holes taken out, members united.
Spans Filler::rowRuns(std::vector<std::vector<double>>& crossings, std::vector<Spans>& runs) const {
    for (std::size_t m = 0; m < nodes_.size(); ++m) {
        std::vector<double>& c = crossings[m];
        std::sort(c.begin(), c.end());
        Spans own;
        for (std::size_t k = 0; k + 1 < c.size(); k += 2) {
            const long from = firstCentreAbove(c[k]), to = firstCentreAbove(c[k + 1]);
            if (from < to) own.push_back({from, to});
        }
        for (std::size_t h : nodes_[m].holes) own = subtract(own, runs[h]);
        runs[m] = std::move(own);
    }
    Spans row;
    for (std::size_t r : roots_) row = roots_.size() == 1 ? runs[r] : unite(row, runs[r]);
    return row;
}

void Filler::fill(unsigned char* out) {
    const RowEdges rows = edgesByRow();
    std::vector<std::vector<double>> crossings(nodes_.size());
    std::vector<Spans> runs(nodes_.size());
    Spans asked;
    for (std::size_t j = 0; j < h_; ++j) {
        scanRow(j, rows, crossings, asked);
        const Spans row = rowRuns(crossings, runs);
        unsigned char* line = out + j * w_;
        std::fill(line, line + w_, 0);
        for (const auto& s : row) std::fill(line + s.first, line + s.second, 1);
        for (const auto& s : unite(asked, {}))
            for (long i = s.first; i < s.second; ++i) line[i] = inside_(centre(static_cast<std::size_t>(i), j));
    }
}

std::vector<unsigned char> rasterize(const std::vector<const krRegion*>& roots, std::size_t width,
                                     std::size_t height, const krXform<2>& toShape, bool considerHoles,
                                     std::function<bool(const krVector<2>&)> inside) {
    if (width != 0 && height > (std::size_t(1) << 40) / width)
        throw krContourDefs::BadParams(L"the raster is too large");
    std::vector<unsigned char> out(width * height);
    if (out.empty()) return out;
    Filler f(width, height, toShape, std::move(inside));
    if (f.gather(roots, considerHoles))
        f.fill(out.data());
    else
        f.fillByCentres(out.data());
    return out;
}

}  // namespace

std::vector<unsigned char> kf_Rasterize(const krRegion& region, std::size_t width, std::size_t height,
                                        const krXform<2>& pixelToShape, bool considerHoles) {
    return rasterize({&region}, width, height, pixelToShape, considerHoles,
                     [&](const krVector<2>& p) { return region.inside(p, considerHoles); });
}

std::vector<unsigned char> kf_Rasterize(const krRegionSet& set, std::size_t width, std::size_t height,
                                        const krXform<2>& pixelToShape, bool considerHoles) {
    std::vector<const krRegion*> roots;
    for (const auto& r : set.regions()) roots.push_back(r.get());
    return rasterize(roots, width, height, pixelToShape, considerHoles,
                     [&](const krVector<2>& p) { return set.inside(p, considerHoles); });
}

krXform<2> kf_PixelGrid(const krVector<2>& origin, double pixelSize) {
    return krXform<2>(krMatrix<2>(pixelSize, 0.0, 0.0, pixelSize), origin);
}
