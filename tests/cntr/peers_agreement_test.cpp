// The contour's measures and the repairs against GEOS on random outlines and tangles.
#include <geos_c.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <memory>

#include "cntr/moments.h"
#include "cntr/region.h"
#include "cntr/regionset.h"
#include "cntr/repair/snaprounder.h"
#include "cntr/repair/walkedpolygons.h"
#include "tests/contour_probe.h"
#include "tests/region_access.h"

namespace {
GEOSContextHandle_t ctx() {
    static GEOSContextHandle_t c = GEOS_init_r();
    return c;
}
struct Free {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(ctx(), g); }
};
using Geom = std::unique_ptr<GEOSGeometry, Free>;

// The points as a GEOS sequence; closed repeats the first point at the end.
GEOSCoordSequence* sequence(const Pts& p, bool closed) {
    std::vector<double> xy;
    for (const V& v : p) xy.insert(xy.end(), {v.x(), v.y()});
    if (closed) xy.insert(xy.end(), {p[0].x(), p[0].y()});
    return GEOSCoordSeq_copyFromBuffer_r(ctx(), xy.data(), static_cast<unsigned>(xy.size() / 2), 0, 0);
}
Geom lineString(const Pts& p, bool closed) {
    return Geom(GEOSGeom_createLineString_r(ctx(), sequence(p, closed)));
}

// Within 1e-12 relative, or within the rounding of coordinates of size scale.
void expectNear(double ours, double geos, double scale, const char* what) {
    const double tol = std::max(1e-12 * std::max(std::fabs(ours), std::fabs(geos)), 1e-14 * scale);
    EXPECT_LE(std::fabs(ours - geos), tol) << what;
}

}  // namespace

// Star-shaped outlines at random places and scales, open and closed: lengths,
// boundary distances and areas as GEOS has them.
TEST(PeersAgreement, MeasuresMatchGeos) {
    krRandomUniform rnd(15);
    for (int trial = 0; trial < 3000 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        const int n = 3 + kfIFloor(rnd.next(0, 58));
        // Offsets up to ten sizes: the area's sums are taken about the origin.
        const double scale = std::pow(10.0, rnd.next(-2, 3));
        const V at = V(rnd.next(-10, 10), rnd.next(-10, 10)) * scale;
        Pts p;
        for (int i = 0; i < n; ++i)
            p.push_back(at + V(scale * rnd.next(0.3, 1), krRadian(2 * kPi * (i + rnd.next(0, 0.9)) / n)));
        const bool closed = trial % 4 != 0;
        const krContour c(p, closed);
        const Geom line = lineString(p, closed);
        double geos;
        GEOSLength_r(ctx(), line.get(), &geos);
        expectNear(c.length(), geos, scale, "length");
        const V q = at + V(rnd.next(-1.5, 1.5) * scale, rnd.next(-1.5, 1.5) * scale);
        const Geom point(GEOSGeom_createPointFromXY_r(ctx(), q.x(), q.y()));
        GEOSDistance_r(ctx(), line.get(), point.get(), &geos);
        expectNear(c.distToPoint(q, false), geos, scale, "distance");
        const Geom polygon(
            GEOSGeom_createPolygon_r(ctx(), GEOSGeom_createLinearRing_r(ctx(), sequence(p, true)), nullptr, 0));
        GEOSArea_r(ctx(), polygon.get(), &geos);
        expectNear(kf_Area(p), geos, scale * scale, "area");  // counter-clockwise, so positive
    }
}

namespace {

// GEOS's areas for rings noded together: of all the faces they make, and of
// those of odd parity (read at a point GEOS puts inside each); also the number
// of pieces of the faces' union.
struct Filled {
    double odd = 0, faces = 0;
    int pieces = 0;
};
bool oddAt(const std::vector<Pts>& rings, double x, double y) {
    bool in = false;
    for (const Pts& r : rings)
        for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++)
            if ((r[i].y() > y) != (r[j].y() > y) &&
                x < r[i].x() + (y - r[i].y()) * (r[j].x() - r[i].x()) / (r[j].y() - r[i].y()))
                in = !in;
    return in;
}
// With a grid, GEOS snap-rounds the line work to it as it nodes it.
Filled geosFilled(const std::vector<Pts>& rings, double grid = 0) {
    std::vector<GEOSGeometry*> lines;
    for (const Pts& r : rings) lines.push_back(lineString(r, true).release());
    const Geom all(GEOSGeom_createCollection_r(ctx(), GEOS_MULTILINESTRING, lines.data(), unsigned(lines.size())));
    const Geom noded(grid > 0 ? GEOSUnaryUnionPrec_r(ctx(), all.get(), grid) : GEOSNode_r(ctx(), all.get()));
    Filled f;
    if (!noded) {  // GEOS's floating noding gives up on some near-coincident line work
        f.odd = f.faces = std::nan("");
        return f;
    }
    const GEOSGeometry* parts[] = {noded.get()};
    const Geom faces(GEOSPolygonize_r(ctx(), parts, 1));
    const auto count = [&](const GEOSGeometry* face) {
        const Geom inside(GEOSPointOnSurface_r(ctx(), face));
        double x, y, a;
        GEOSGeomGetX_r(ctx(), inside.get(), &x);
        GEOSGeomGetY_r(ctx(), inside.get(), &y);
        GEOSArea_r(ctx(), face, &a);
        if (oddAt(rings, x, y)) f.odd += a;
        f.faces += a;
    };
    for (int k = 0; k < GEOSGetNumGeometries_r(ctx(), faces.get()); ++k) count(GEOSGetGeometryN_r(ctx(), faces.get(), k));
    const Geom united(GEOSUnaryUnion_r(ctx(), faces.get()));
    f.pieces = GEOSGetNumGeometries_r(ctx(), united.get());
    return f;
}

// Tangles of one ring, by kind: 0 random polygons, 1 random walks, 2 lattice
// points (ties, vertices on crossings, collinear overlaps), 3 stars {n/k}
// crossed on every edge, 4 limacons (an inner loop wound twice), 5 bow-ties
// with a collinear midpoint on some edge (at the crossing, say) and spikes out
// of others.
Pts tangle(krRandomUniform& rnd, int kind) {
    Pts p;
    const int n = 4 + kfIFloor(rnd.next(0, 30));
    V at(0, 0);
    if (kind == 3) {
        const int m = 5 + kfIFloor(rnd.next(0, 8));
        int k = 2 + kfIFloor(rnd.next(0, (m - 1) / 2 - 1));
        while (std::gcd(m, k) != 1) --k;  // one ring, not a polygon walked k times
        for (int i = 0; i < m; ++i) p.push_back(V(1.0, krRadian(2 * kPi * k * i / m + 0.1)));
        return p;
    }
    if (kind == 4) {
        const double a = rnd.next(0.2, 0.9);
        for (int i = 0; i < 20 + n; ++i) {
            const double t = 2 * kPi * i / (20 + n), r = a + std::cos(t);
            p.push_back(V(r * std::cos(t), r * std::sin(t)));
        }
        return p;
    }
    if (kind == 5) {
        p = {{0, 0}, {2, 2}, {2, 0}, {0, 2}};
        for (int i = 3; i >= 0; --i) {
            const V a = p[i], b = p[(i + 1) % p.size()];
            const double r = rnd.next(0, 1);
            if (r < 0.3) p.insert(p.begin() + i + 1, a + (b - a) * 0.25 * (1 + kfIFloor(rnd.next(0, 3))));
            if (r > 0.7) p.insert(p.begin() + i + 1, {b + (b - V(1, 1)) * rnd.next(0.1, 1), b});
        }
        if (rnd.next(0, 1) < 0.5) std::reverse(p.begin(), p.end());
        return p;
    }
    for (int i = 0; i < n; ++i) {
        if (kind == 0) p.push_back(V(rnd.next(0, 10), rnd.next(0, 10)));
        if (kind == 1) p.push_back(at = at + V(1.0, krRadian(rnd.next(0, 2 * kPi))));
        if (kind == 2) p.push_back(V(kfIFloor(rnd.next(0, 5)), kfIFloor(rnd.next(0, 5))));
    }
    return p;
}

// Sets of congruent squares, so that none lies inside another without
// touching it: 0 turned at random anywhere in a box, 1 tiles of a 4 x 4
// lattice sharing edges and corners. Some are listed clockwise.
std::vector<Pts> squares(krRandomUniform& rnd, int kind) {
    std::vector<Pts> set;
    const int n = 2 + kfIFloor(rnd.next(0, kind == 0 ? 10 : 12));
    for (int k = 0; k < n; ++k) {
        const V c = kind == 0 ? V(rnd.next(0, 6), rnd.next(0, 6))
                              : V(kfIFloor(rnd.next(0, 4)), kfIFloor(rnd.next(0, 4)));
        const double turn = kind == 0 ? rnd.next(0, kPi) : 0;
        Pts sq;
        for (int i = 0; i < 4; ++i) sq.push_back(c + V(std::sqrt(0.5), krRadian(turn + kPi / 4 + i * kPi / 2)));
        if (kind == 1) for (V& v : sq) v = V(std::round(v.x() * 2) / 2, std::round(v.y() * 2) / 2);
        if (rnd.next(0, 1) < 0.3) std::reverse(sq.begin(), sq.end());
        set.push_back(sq);
    }
    return set;
}

// What moving the boundary by the contact tolerance, or by the input's noise
// where that is more, may change of an area: ten times that along the perimeter.
double slack(const std::vector<Pts>& rings, double noise) {
    double perimeter = 0;
    for (const Pts& r : rings) perimeter += krContour(r, true).length();
    return 10 * perimeter * std::max(1e-6, noise);
}

// The repaired area of one ring (a region) or of several (a set) and the
// number of regions, checked for crossings, coordinates that are not numbers
// and (regularized) lobes turning against each other; -1 if refused.
struct Repaired {
    double area = 0;
    int regions = 0;
    bool crosses = false, finite = true, oneSense = true;
};
Repaired repairedArea(const std::vector<Pts>& rings, bool hull) {
    Repaired got;
    const auto look = [&got, hull](const krRegion& r) {
        got.crosses = got.crosses || r.isSelfIntersecting();
        for (const V& v : r.points()) got.finite = got.finite && std::isfinite(v.x()) && std::isfinite(v.y());
        got.area += r.area(false);
        ++got.regions;
        got.oneSense = got.oneSense && (hull || std::fabs(std::fabs(kf_Area(r.points())) - r.area(false)) <=
                                                    1e-9 * r.area(false));
    };
    try {
        if (rings.size() == 1) {
            krRegion out;
            hull ? krRegion(rings[0]).outerHull(out) : krRegion(rings[0]).regularize(out);
            look(out);
            return got;
        }
        const krRegionSet given(members(rings));
        krRegionSet out;
        hull ? given.outerHull(out) : given.regularize(out);
        for (const auto& r : out.regions()) look(*r);
        got.crosses = got.crosses || out.isSelfIntersecting();  // members in contact too
    } catch (const krContourDefs::BadParams& e) {
        EXPECT_EQ(e.string(), L"invalid contour");
        got.area = -1;
    }
    return got;
}

// Compares the repairs of a shape that crosses itself with GEOS, to a part in
// 1e9 or the slack; whether it did. A set merges into no more regions than
// GEOS's union has pieces (GEOS keeps squares meeting at a corner apart).
// Where a gap far below the tolerance decides whether a face is enclosed,
// GEOS's answer hangs on it: ours must then be GEOS's on the line work
// snap-rounded to our pixel grid by GEOS itself.
bool expectLikeGeos(const std::vector<Pts>& rings, double noise, int* snapped = nullptr) {
    if (!krRegionSet(members(rings)).isSelfIntersecting()) return false;
    const double pixel = qel::detail::SnapRounder({&rings[0]}).pixel();
    Filled geos = geosFilled(rings);
    if (std::isnan(geos.faces)) geos = geosFilled(rings, pixel);
    const double room = std::max(slack(rings, noise), 1e-9 * geos.faces);
    for (bool hull : {true, false}) {
        const Repaired ours = repairedArea(rings, hull);
        double want = hull ? geos.faces : geos.odd;
        const double area = std::max(ours.area, 0.0);
        if (std::fabs(area - want) > room) {
            const Filled grid = geosFilled(rings, pixel);
            want = hull ? grid.faces : grid.odd;
            if (snapped) ++*snapped;
        }
        if (ours.area < 0)
            EXPECT_LE(want, room) << (hull ? "outer hull" : "regularized") << " refused";
        else
            EXPECT_NEAR(ours.area, want, room) << (hull ? "outer hull" : "regularized");
        EXPECT_TRUE(!ours.crosses && ours.finite && ours.oneSense);
        if (rings.size() > 1 && geos.pieces > 0) {
            EXPECT_LE(ours.regions, geos.pieces);
        }
    }
    return true;
}

}  // namespace

// The outer hull holds what GEOS's noded and polygonized faces hold, the
// regularized outline the faces of odd winding, at scales from 1e-5 to 1e10
// and offsets up to 1e8; region sets merge until nothing crosses or touches.
TEST(PeersAgreement, RepairsHoldWhatGeosFills) {
    krRandomUniform rnd(23);
    int repaired[8] = {}, snapped = 0;
    for (int trial = 0; trial < 2400 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        const int kind = trial % 8;
        if (kind >= 6) {
            repaired[kind] += expectLikeGeos(squares(rnd, kind - 6), 0, &snapped);
            continue;
        }
        Pts p = tangle(rnd, kind);
        // Bow-ties, stars and limacons at scales that keep their features
        // clear of the contact tolerance; the others, whose crossings may come
        // near each other, by powers of two, so that lattice points stay in
        // line (GEOS's noding goes astray on lines overlapping within a rounding).
        const bool plain = kind >= 3;
        const double scale = plain ? std::pow(10.0, rnd.next(kind == 5 ? -5 : -3, 10))
                                   : std::ldexp(1.0, kfIFloor(rnd.next(-3, 10)));
        V offset = V(rnd.next(-1, 1), rnd.next(-1, 1)) * std::min(1e8, scale * std::pow(10.0, rnd.next(0, 3)));
        if (!plain) offset = V(std::round(offset.x() / scale), std::round(offset.y() / scale)) * scale;
        for (V& v : p) v = offset + v * scale;
        repaired[kind] += expectLikeGeos({p}, 0, &snapped);
    }
    // Each kind is compared, all against GEOS's own noding.
    for (int k = 0; k < 8; ++k) EXPECT_GT(repaired[k], 150) << "kind " << k;
    EXPECT_EQ(snapped, 0);
}

// The readers' even-odd polygons of a shell, plain or tangled, with squares
// for holes that cross or touch: they hold what GEOS's faces of odd parity hold.
TEST(PeersAgreement, EvenOddPolygonsHoldGeosOddFaces) {
    krRandomUniform rnd(37);
    for (int trial = 0; trial < 600 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        std::vector<Pts> rings = squares(rnd, trial % 2);
        const double side = rnd.next(4, 8);
        Pts shell = trial % 3 == 0 ? tangle(rnd, 0) : Pts{{0, 0}, {side, 0}, {side, side}, {0, side}};
        rings.insert(rings.begin(), shell);
        std::vector<const Pts*> given;
        for (const Pts& r : rings) given.push_back(&r);
        double area = 0;
        for (const auto& p : qel::detail::evenOddPolygons(given)) {
            area += kf_Area(p.outer);
            for (const Pts& h : p.holes) area -= kf_Area(h);
        }
        const Filled geos = geosFilled(rings);
        EXPECT_NEAR(area, geos.odd, 1e-9 * geos.faces);
    }
}

namespace {

// A ring walked k times, each pass turned by a little about its first point.
Pts walkedAgain(const Pts& ring, int k, double turn) {
    Pts p;
    for (int pass = 0; pass < k; ++pass)
        for (const V& v : ring) {
            const V d = v - ring[0];
            const double c = std::cos(turn * pass), s = std::sin(turn * pass);
            p.push_back(ring[0] + V(c * d.x() - s * d.y(), s * d.x() + c * d.y()));
        }
    return p;
}

// A bow-tie with a half-disc of radius r on its left edge, sampled every step.
Pts bumpedBowTie(double r, double step) {
    Pts p = {{0, 0}, {2, 2}, {2, 0}, {0, 2}};
    const int m = int(std::ceil(kPi * r / step));
    for (int i = 1; i < m; ++i) p.push_back(V(-r * std::sin(kPi * i / m), 1 + r * std::cos(kPi * i / m)));
    return p;
}

}  // namespace

// Shapes whose features come within a few times the contact tolerance of
// each other, against GEOS: 0 lattice rings and 1 lattice tiles (some missing,
// some clockwise) with their points moved, 2 set members whose corners nearly
// meet, 3 triangles walked two or three times with a small turn, 4 bumps
// sampled finer than the tolerance.
TEST(PeersAgreement, NearToleranceShapesAgreeWithGeos) {
    krRandomUniform rnd(41);
    const double noises[] = {1e-9, 3e-7, 1e-6, 3e-6};
    int compared[5] = {}, snapped = 0;
    for (int trial = 0; trial < 1000 && !HasFailure(); ++trial) {
        SCOPED_TRACE(trial);
        const int kind = trial % 5;
        if (kind == 4 && trial % 50 != 4) continue;  // GEOS takes its time over the fine ones
        const double noise = noises[(trial / 5) % 4];
        const auto moved = [&](const V& v) { return v + V(rnd.next(-noise, noise), rnd.next(-noise, noise)); };
        std::vector<Pts> rings;
        if (kind == 0) {
            Pts p;
            for (int i = 0, n = 5 + kfIFloor(rnd.next(0, 5)); i < n; ++i)
                p.push_back(moved(V(kfIFloor(rnd.next(0, 4)), kfIFloor(rnd.next(0, 4)))));
            rings.push_back(p);
        } else if (kind == 1) {
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) {
                    if (rnd.next(0, 1) < 0.3) continue;
                    Pts t;
                    for (const V& d : {V(0, 0), V(1, 0), V(1, 1), V(0, 1)}) t.push_back(moved(V(i, j) + d));
                    if (rnd.next(0, 1) < 0.3) std::reverse(t.begin(), t.end());
                    rings.push_back(t);
                }
        } else if (kind == 2) {
            for (int m = 0; m < 2; ++m) {
                const double a = rnd.next(0, 2 * kPi), b = a + rnd.next(0.2, 2);
                rings.push_back({moved(V(0, 0)), V(rnd.next(0.3, 1), krRadian(a)), V(rnd.next(0.3, 1), krRadian(b))});
            }
        } else if (kind == 3) {
            const V at(rnd.next(-1e6, 1e6), rnd.next(-1e6, 1e6));
            const double turn = noise * rnd.next(1, 20);
            rings.push_back(walkedAgain({at, at + V(4, 0), at + V(0, 3)}, 2 + trial % 2, turn));
            compared[kind] += expectLikeGeos(rings, 5 * turn, &snapped);
            continue;
        } else {
            rings.push_back(bumpedBowTie(rnd.next(2e-4, 1e-3), rnd.next(0.3e-6, 2e-6)));
        }
        compared[kind] += expectLikeGeos(rings, noise, &snapped);
    }
    // Most agree with GEOS's own noding.
    EXPECT_LT(snapped, 40);
    for (int k = 0; k < 4; ++k) EXPECT_GT(compared[k], 100) << "kind " << k;
    EXPECT_GE(compared[4], 15);
}
