#include "platform/ip/edgelet.h"

#include <ostream>

krRadian krAngle8::toRadian() const {
    return krRadian(units_ * (2.0 * kPi / kUnitsPerTurn));
}

krArchive& operator||(krArchive& ar, krEdgelet& e) {
    krVector<2> position = e.position();
    unsigned char low = static_cast<unsigned char>(e.magnitude() & 0xff);
    unsigned char high = static_cast<unsigned char>(e.magnitude() >> 8);
    unsigned char angle = e.angle().value();
    ar || position || low || high || angle;
    if (ar.isLoading())
        e = krEdgelet(position, static_cast<unsigned short>(low | (high << 8)), krAngle8(angle));
    return ar;
}

std::ostream& operator<<(std::ostream& os, const krAngle8& a) {
    return os << static_cast<unsigned>(a.value()) << "/256";
}

std::ostream& operator<<(std::ostream& os, const krEdgelet& e) {
    return os << "edgelet " << e.position() << " magnitude " << e.magnitude() << " angle "
              << e.angle();
}
