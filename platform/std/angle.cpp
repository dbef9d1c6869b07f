#include "platform/std/angle.h"

krRadian krRadian::norm() const {
    const double turn = 2.0 * kPi;
    double v = std::fmod(value_, turn);
    if (v < 0.0) v += turn;
    // fmod of a tiny negative value plus a full turn can round up to the turn.
    if (v >= turn) v = 0.0;
    return krRadian(v);
}

krDegree::krDegree(const krRadian& r) : value_(r.toDouble() * (180.0 / kPi)) {}

krDegree::operator krRadian() const { return krRadian(value_ * (kPi / 180.0)); }
