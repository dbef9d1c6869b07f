#include "cntr/edgeshapes.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "cntr/moments.h"

double kf_EdgeMagnitudeScale(const krGreyView& image) {
    switch (image.type()) {
    case krPixelType::eU8: return 65535.0 / 255.0;
    case krPixelType::eU16: return 1.0;
    default: break;
    }
    // Floating-point pixels have no full scale of their own: their range
    // stands for it, so images of 0..1 and of 0..255 give the same edgelets.
    double lo = INFINITY, hi = -INFINITY;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double v = image.type() == krPixelType::eF32 ? image.row<float>(y)[x] : image.row<double>(y)[x];
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        }
    return hi > lo ? 65535.0 / (hi - lo) : 1.0;
}

krEdgelet kf_Edgelet(const kr_EdgePoint& point, double scale) {
    // The detector's own edgelet gives the angle; the magnitude is scaled in
    // double precision, which a float would round differently.
    const krEdgelet e = point.edgelet();
    const double m = std::min(65535.0, std::max(0.0, std::floor(double(point.magnitude) * scale + 0.5)));
    return krEdgelet(e.position(), static_cast<unsigned short>(m), e.angle());
}

krContourT<krEdgelet> kf_EdgeContour(const kr_EdgeChain& chain, double scale, unsigned long label) {
    krContourT<krEdgelet>::Data data;
    data.reserve(chain.points.size());
    for (const kr_EdgePoint& p : chain.points) data.push_back(kf_Edgelet(p, scale));
    krContourT<krEdgelet> c(data);
    c.isClosed(chain.closed);
    c.label(label);
    return c;
}

namespace {

using Region = krRegionT<krEdgelet>;

struct Box {
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    bool holds(const Box& o) const { return x0 <= o.x0 && y0 <= o.y0 && o.x1 <= x1 && o.y1 <= y1; }
};

Box boxOf(const kr_EdgeChain& c) {
    Box b;
    for (const kr_EdgePoint& p : c.points)
        b.x0 = std::min(b.x0, p.x), b.y0 = std::min(b.y0, p.y), b.x1 = std::max(b.x1, p.x), b.y1 = std::max(b.y1, p.y);
    return b;
}

}  // namespace

kr_EdgeNesting kf_NestEdgeChains(const std::vector<kr_EdgeChain>& chains, double scale) {
    const std::size_t n = chains.size();
    kr_EdgeNesting out;
    out.parent.assign(n, -1);
    out.hole.assign(n, false);
    out.regions.resize(n);

    // Every closed chain that bounds a surface becomes a region; the larger
    // ones are asked first, so a chain's direct parent is the smallest
    // region before it in that order that holds its first point.
    std::vector<krPtrHandle<Region>> region(n);
    std::vector<Box> box(n);
    std::vector<double> area(n, 0.0);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < n; ++i) {
        if (!chains[i].closed || chains[i].points.size() < 3) continue;
        krContourT<krEdgelet> c = kf_EdgeContour(chains[i], scale, static_cast<unsigned long>(i));
        region[i] = krPtrHandle<Region>(new Region(c, static_cast<unsigned long>(i)));
        box[i] = boxOf(chains[i]);
        area[i] = std::fabs(kf_Area(region[i]->krContour::points()));
        order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return area[a] > area[b]; });
    std::vector<int> depth(n, 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        const kr_EdgePoint& first = chains[i].points.front();
        for (std::size_t j = k; j-- > 0;) {
            const std::size_t p = order[j];
            if (box[p].holds(box[i]) && region[p]->inside(krVector<2>(first.x, first.y), false)) {
                out.parent[i] = static_cast<long>(p);
                depth[i] = depth[p] + 1;
                break;
            }
        }
        out.hole[i] = depth[i] % 2 == 1;
    }

    // Holes go to the region they lie in directly, in chain order.
    std::vector<std::vector<std::size_t>> holesOf(n);
    for (std::size_t i = 0; i < n; ++i)
        if (out.hole[i]) holesOf[static_cast<std::size_t>(out.parent[i])].push_back(i);
    for (std::size_t i = 0; i < n; ++i) {
        if (holesOf[i].empty()) continue;
        Region::HolesT edgeletHoles;
        krRegion::Holes plain;
        for (std::size_t h : holesOf[i]) {
            // Checked one by one, so one crossing hole does not cost the others.
            krRegion::Holes tried = plain;
            tried.push_back(krPtrHandle_const<krRegion>(region[h]));
            try {
                region[i]->krRegion::holes(tried);
            } catch (const krContourDefs::BadParams&) {
                out.hole[h] = false;
                continue;
            }
            plain = tried;
            edgeletHoles.push_back(krPtrHandle_const<Region>(region[h]));
        }
        region[i]->krRegion::holes(plain);
        region[i]->holes(edgeletHoles);
    }

    // One object for each outermost chain: its region, then every region
    // nested within it that is not a hole.
    std::vector<long> objectOf(n, -1);
    for (std::size_t i = 0; i < n; ++i) {
        if (!region[i]) continue;
        if (!out.hole[i]) out.regions[i] = krPtrHandle_const<Region>(region[i]);
        long top = static_cast<long>(i);
        while (out.parent[static_cast<std::size_t>(top)] >= 0) top = out.parent[static_cast<std::size_t>(top)];
        objectOf[i] = top;
    }
    std::vector<Region::HolesT> members(n);
    for (std::size_t i = 0; i < n; ++i)
        if (out.regions[i]) {
            Region::HolesT& m = members[static_cast<std::size_t>(objectOf[i])];
            m.insert(static_cast<std::size_t>(objectOf[i]) == i ? m.begin() : m.end(), out.regions[i]);
        }
    for (std::size_t i = 0; i < n; ++i) {
        if (!region[i] || out.parent[i] >= 0) continue;
        kr_EdgeObject obj;
        obj.regions = krRegionSetT<krEdgelet>(members[i]);
        for (const krPtrHandle_const<Region>& r : members[i]) obj.chains.push_back(static_cast<long>(r->label()));
        out.objects.push_back(std::move(obj));
    }
    return out;
}
