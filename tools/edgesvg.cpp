#include "tools/edgesvg.h"

#include <algorithm>
#include <cstdio>

namespace qs {

namespace {

std::string base64(const std::string& bytes) {
    static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? digits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

}  // namespace

void writeEdgeSvg(std::ostream& os, const std::string& pngBytes, int width, int height,
                  const std::vector<kr_EdgeChain>& chains, const std::vector<bool>& hole) {
    os << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << width << "\" height=\"" << height
       << "\" viewBox=\"0 0 " << width << ' ' << height << "\">\n"
       << "<image x=\"0\" y=\"0\" width=\"" << width << "\" height=\"" << height
       << "\" style=\"image-rendering:pixelated\" href=\"data:image/png;base64," << base64(pngBytes)
       << "\"/>\n<g fill=\"none\" stroke-width=\"1.5\" vector-effect=\"non-scaling-stroke\">\n";
    char buf[64];
    for (std::size_t i = 0; i < chains.size(); ++i) {
        const kr_EdgeChain& c = chains[i];
        const char* colour = !c.closed ? "#ff8c00" : hole[i] ? "#00e5ff" : "#39ff14";
        os << "<path id=\"chain-" << i << "\" stroke=\"" << colour
           << "\" vector-effect=\"non-scaling-stroke\" d=\"";
        for (std::size_t k = 0; k < c.points.size(); ++k) {
            std::snprintf(buf, sizeof buf, "%c%.4f %.4f", k ? ' ' : 'M', c.points[k].x, c.points[k].y);
            os << buf;
        }
        os << (c.closed ? "Z" : "") << "\"/>\n";
    }
    os << "</g>\n</svg>\n";
}

}  // namespace qs
