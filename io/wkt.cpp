#include "io/wkt.h"

#include <cctype>
#include <sstream>

#include <geos_c.h>

namespace qs {

namespace {

// Splits WKT text into geometries, keeping the line where each starts.
class WktSource : public Source {
public:
    explicit WktSource(std::unique_ptr<Input> in) : in_(std::move(in)) { format_ = Format::Wkt; }

    bool next(Record& r) override {
        while (true) {
            if (pos_ >= line_.size()) {
                if (!std::getline(*in_->in, line_)) return finish(r);
                ++lineNo_;
                pos_ = 0;
                std::size_t first = line_.find_first_not_of(" \t\r");
                if (first == std::string::npos || line_[first] == '#') {
                    pos_ = line_.size();
                    continue;
                }
                if (std::isalpha(static_cast<unsigned char>(line_[first])) && !text_.empty())
                    return unfinished(r);
            }
            if (scan(r)) return true;
        }
    }
    double done() const override { return in_->done(); }

private:
    // Takes characters of the current line until a geometry is complete.
    bool scan(Record& r) {
        if (text_.empty()) {
            pos_ = line_.find_first_not_of(" \t\r;", pos_);
            if (pos_ == std::string::npos) {
                pos_ = line_.size();
                return false;
            }
            startLine_ = lineNo_;
        } else {
            text_ += '\n';
        }
        std::size_t from = pos_;
        for (; pos_ < line_.size(); ++pos_) {
            char c = line_[pos_];
            if (c == '(') ++depth_;
            if (c == ')' && --depth_ <= 0) break;
            if (depth_ == 0 && (c == 'Y' || c == 'y') && pos_ >= 4 &&
                equalsNoCase(line_.substr(pos_ - 4, 5), "EMPTY"))
                break;
        }
        if (pos_ == line_.size()) {
            text_.append(line_, from, pos_ - from);
            return false;
        }
        ++pos_;
        text_.append(line_, from, pos_ - from);
        // A stray ')' after the geometry is its fault, not a geometry of its own.
        std::size_t after = line_.find_first_not_of(" \t\r", pos_);
        bool bad = depth_ < 0 || (after != std::string::npos && line_[after] == ')');
        if (bad) pos_ = line_.size();
        emit(r);
        if (bad) r.error = "a ')' closes more than was opened";
        return true;
    }
    bool unfinished(Record& r) {
        emit(r);
        r.error = "the geometry's parentheses are not closed";
        return true;
    }
    bool finish(Record& r) {
        if (text_.empty()) return false;
        return unfinished(r);
    }
    void emit(Record& r) {
        r = Record();
        r.where = in_->path + ":" + std::to_string(startLine_);
        r.wkt.swap(text_);
        text_.clear();
        depth_ = 0;
    }
    static bool equalsNoCase(const std::string& a, const char* b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
        return true;
    }

    std::unique_ptr<Input> in_;
    std::string line_, text_;
    std::size_t pos_ = 0;
    long lineNo_ = 0, startLine_ = 0;
    int depth_ = 0;
};

// ---- GEOS, one context a thread ----

struct GeosThread {
    GeosThread() {
        ctx = GEOS_init_r();
        GEOSContext_setErrorMessageHandler_r(ctx, &GeosThread::onError, this);
        reader = GEOSWKTReader_create_r(ctx);
    }
    ~GeosThread() {
        GEOSWKTReader_destroy_r(ctx, reader);
        GEOS_finish_r(ctx);
    }
    static void onError(const char* message, void* self) {
        static_cast<GeosThread*>(self)->error = message;
    }
    GEOSContextHandle_t ctx;
    GEOSWKTReader* reader;
    std::string error;
};

GeosThread& geos() {
    thread_local GeosThread t;
    return t;
}

struct GeomDeleter {
    void operator()(GEOSGeometry* g) const { GEOSGeom_destroy_r(geos().ctx, g); }
};

// GEOS hands out the name in memory the caller frees.
std::string typeName(const GEOSGeometry* g) {
    char* name = GEOSGeomType_r(geos().ctx, g);
    std::string text = name ? name : "geometry of unknown type";
    GEOSFree_r(geos().ctx, name);
    return text;
}

Ring geosRing(const GEOSGeometry* g) {
    GEOSContextHandle_t ctx = geos().ctx;
    const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(ctx, g);
    unsigned int n = 0;
    if (!seq || !GEOSCoordSeq_getSize_r(ctx, seq, &n)) throw InputError(geos().error);
    std::vector<double> xy(2 * std::size_t(n));
    if (n && !GEOSCoordSeq_copyToBuffer_r(ctx, seq, xy.data(), 0, 0)) throw InputError(geos().error);
    Ring r(n);
    for (unsigned int i = 0; i < n; ++i) r[i] = krVector<2>(xy[2 * i], xy[2 * i + 1]);
    return r;
}

Polygon geosPolygon(const GEOSGeometry* g) {
    GEOSContextHandle_t ctx = geos().ctx;
    Polygon p{geosRing(GEOSGetExteriorRing_r(ctx, g)), {}};
    int holes = GEOSGetNumInteriorRings_r(ctx, g);
    for (int i = 0; i < holes; ++i) p.holes.push_back(geosRing(GEOSGetInteriorRingN_r(ctx, g, i)));
    return p;
}

}  // namespace

Shape parseWkt(const std::string& text) {
    GeosThread& t = geos();
    std::unique_ptr<GEOSGeometry, GeomDeleter> g(GEOSWKTReader_read_r(t.ctx, t.reader, text.c_str()));
    if (!g) throw InputError("not valid WKT: " + t.error);
    if (GEOSisEmpty_r(t.ctx, g.get()) == 1) throw InputError("the geometry is empty");
    Shape s;
    switch (GEOSGeomTypeId_r(t.ctx, g.get())) {
    case GEOS_LINESTRING:
        s.kind = Kind::OpenContour;
        s.polygons.push_back({geosRing(g.get()), {}});
        break;
    case GEOS_LINEARRING:
        s.kind = Kind::ClosedContour;
        s.polygons.push_back({geosRing(g.get()), {}});
        break;
    case GEOS_POLYGON:
        s.kind = Kind::Region;
        s.polygons.push_back(geosPolygon(g.get()));
        break;
    case GEOS_MULTIPOLYGON:
        s.kind = Kind::RegionSet;
        for (int i = 0, n = GEOSGetNumGeometries_r(t.ctx, g.get()); i < n; ++i)
            s.polygons.push_back(geosPolygon(GEOSGetGeometryN_r(t.ctx, g.get(), i)));
        break;
    default:
        throw InputError("a " + typeName(g.get()) + " is not a shape the tool reads");
    }
    return s;
}

std::unique_ptr<Source> openWkt(std::unique_ptr<Input> in) { return std::make_unique<WktSource>(std::move(in)); }

std::vector<krVector<2>> wktPoints(const std::string& text) {
    GeosThread& t = geos();
    std::unique_ptr<GEOSGeometry, GeomDeleter> g(GEOSWKTReader_read_r(t.ctx, t.reader, text.c_str()));
    if (!g) throw InputError("not valid WKT: " + t.error);
    int type = GEOSGeomTypeId_r(t.ctx, g.get());
    if (type == GEOS_POINT) return geosRing(g.get());
    if (type != GEOS_MULTIPOINT)
        throw InputError("a " + typeName(g.get()) + " is not a point");
    std::vector<krVector<2>> points;
    for (int i = 0, n = GEOSGetNumGeometries_r(t.ctx, g.get()); i < n; ++i)
        for (const krVector<2>& p : geosRing(GEOSGetGeometryN_r(t.ctx, g.get(), i))) points.push_back(p);
    return points;
}

namespace {

void wktRing(std::ostream& os, const Ring& r, bool close) {
    os << '(';
    for (std::size_t i = 0; i < r.size(); ++i)
        os << (i ? ", " : "") << num(r[i].x()) << ' ' << num(r[i].y());
    if (close && !r.empty()) os << ", " << num(r[0].x()) << ' ' << num(r[0].y());
    os << ')';
}

void wktPolygon(std::ostream& os, const Polygon& p) {
    os << '(';
    wktRing(os, p.outer, true);
    for (const Ring& h : p.holes) {
        os << ", ";
        wktRing(os, h, true);
    }
    os << ')';
}

}  // namespace

std::string wktText(const Shape& s, unsigned long) {
    std::ostringstream os;
    switch (s.kind) {
    case Kind::OpenContour: os << "LINESTRING "; wktRing(os, s.polygons[0].outer, false); break;
    case Kind::ClosedContour: os << "LINEARRING "; wktRing(os, s.polygons[0].outer, true); break;
    case Kind::Region: os << "POLYGON "; wktPolygon(os, s.polygons[0]); break;
    case Kind::RegionSet:
        os << "MULTIPOLYGON (";
        for (std::size_t i = 0; i < s.polygons.size(); ++i) {
            if (i) os << ", ";
            wktPolygon(os, s.polygons[i]);
        }
        os << ')';
        break;
    }
    os << '\n';
    return os.str();
}

}  // namespace qs
