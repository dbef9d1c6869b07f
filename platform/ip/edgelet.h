// Edge points found in an image: a position, a gradient magnitude and a
// direction stored in one byte.
#ifndef QEL_PLATFORM_IP_EDGELET_H
#define QEL_PLATFORM_IP_EDGELET_H

#include <iosfwd>

#include "platform/std/angle.h"
#include "platform/std/archive.h"
#include "platform/std/vector.h"

// A direction quantized to one byte: 256 units make a full turn, so one unit
// is 2*pi/256 radians and the byte's wrap-around is the turn's.
class krAngle8 {
public:
    krAngle8() = default;
    explicit krAngle8(unsigned char units) : units_(units) {}

    unsigned char value() const { return units_; }
    // The direction in radians, in [0, 2*pi).
    krRadian toRadian() const;

    bool operator==(const krAngle8& o) const { return units_ == o.units_; }
    bool operator!=(const krAngle8& o) const { return units_ != o.units_; }

    static constexpr int kUnitsPerTurn = 256;

private:
    unsigned char units_ = 0;
};

// One edge point: where it lies, how strong the edge is there and which way
// the gradient points. The default edgelet (origin, 0, 0) exists so lists can
// be sized before they are filled.
class krEdgelet {
public:
    krEdgelet() = default;
    krEdgelet(const krVector<2>& position, unsigned short magnitude, const krAngle8& angle)
        : position_(position), magnitude_(magnitude), angle_(angle) {}

    const krVector<2>& position() const { return position_; }
    unsigned short magnitude() const { return magnitude_; }
    krAngle8 angle() const { return angle_; }

    bool operator==(const krEdgelet& o) const {
        return position_ == o.position_ && magnitude_ == o.magnitude_ && angle_ == o.angle_;
    }
    bool operator!=(const krEdgelet& o) const { return !(*this == o); }

private:
    krVector<2> position_{};
    unsigned short magnitude_ = 0;
    krAngle8 angle_;
};

// One edgelet on the wire: its position (two doubles), its magnitude as two
// bytes, low byte first, and its angle byte: 19 bytes.
krArchive& operator||(krArchive& ar, krEdgelet& e);
template <>
struct kr_ArchiveMinBytes<krEdgelet> : std::integral_constant<std::size_t, 19> {};

std::ostream& operator<<(std::ostream& os, const krAngle8& a);
std::ostream& operator<<(std::ostream& os, const krEdgelet& e);

#endif
