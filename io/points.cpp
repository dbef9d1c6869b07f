#include "io/points.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "io/input.h"
#include "io/wkt.h"

namespace qs {

namespace {

// "x,y" or "x y", nothing else on the line.
bool csvPoint(const std::string& line, krVector<2>& p) {
    char* end = nullptr;
    double x = std::strtod(line.c_str(), &end);
    if (end == line.c_str()) return false;
    while (*end == ' ' || *end == '\t' || *end == ',') ++end;
    const char* ystart = end;
    double y = std::strtod(ystart, &end);
    if (end == ystart) return false;
    while (*end == ' ' || *end == '\t' || *end == '\r') ++end;
    if (*end) return false;
    p = krVector<2>(x, y);
    return true;
}

// WKT when the first line that is not blank names a point geometry.
bool startsWithPointWkt(const std::string& line) {
    std::string head;
    for (char c : line.substr(line.find_first_not_of(" \t"), 10))
        head += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return head.rfind("POINT", 0) == 0 || head.rfind("MULTIPOINT", 0) == 0;
}

}  // namespace

std::vector<krVector<2>> readPoints(const std::string& path) {
    Input in(path);
    std::vector<krVector<2>> points;
    std::string line;
    bool first = true;
    for (long n = 1; std::getline(*in.in, line); ++n) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (first && startsWithPointWkt(line)) {
            auto src = openWkt(std::make_unique<Input>(path));
            Record r;
            while (src->next(r)) {
                if (!r.error.empty()) throw InputError(r.where + ": " + r.error);
                try {
                    for (const krVector<2>& p : wktPoints(r.wkt)) points.push_back(p);
                } catch (const InputError& e) {
                    throw InputError(r.where + ": " + e.what());
                }
            }
            break;
        }
        krVector<2> p{};
        if (csvPoint(line, p))
            points.push_back(p);
        else if (!first)  // the first line may name the columns: "x,y", "lon,lat"
            throw InputError(path + ":" + std::to_string(n) + ": not a point \"x,y\"");
        first = false;
    }
    for (const krVector<2>& p : points)
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()))
            throw InputError(path + ": a point has a coordinate that is not a finite number");
    return points;
}

}  // namespace qs
