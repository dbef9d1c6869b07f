#include "platform/ip/edgelet.h"

#include <ostream>

krRadian krAngle8::toRadian() const {
    return krRadian(units_ * (2.0 * kPi / kUnitsPerTurn));
}

std::ostream& operator<<(std::ostream& os, const krAngle8& a) {
    return os << static_cast<unsigned>(a.value()) << "/256";
}

std::ostream& operator<<(std::ostream& os, const krEdgelet& e) {
    return os << "edgelet " << e.position() << " magnitude " << e.magnitude() << " angle "
              << e.angle();
}
