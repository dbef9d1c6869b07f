// The contour library's enumerations and error classes, and declarations of
// its shape classes.
#ifndef QEL_DEFS_CNTRDEFS_H
#define QEL_DEFS_CNTRDEFS_H

#include <string>

#include "platform/std/exception.h"

class krContour;
class krRegion;
class krRegionSet;

// A scope for the library's enums and errors; it has no state.
class krContourDefs {
public:
    krContourDefs& operator=(const krContourDefs&) { return *this; }

    // How a contour is drawn; a contour draws the same polyline in every mode.
    enum DrawMode { eDrawLines = 0, eDrawPoints = 1 };

    // Exact: the farthest vertex pair spans the circle. Fast: the circle is
    // centred at the first vertex and holds every vertex.
    enum DiameterMode { eExact = 0, eFast = 1 };

    // What a region or region set does with a boundary that crosses itself.
    enum IntersectionMode { eAsIs = 0, eOuterHull = 1, eRegularize = 2 };

    // The base of the library's errors: a wide message and an error number.
    // Each concrete error is archivable: its record is its own version byte 0,
    // then this level's version byte 0, then the exception base's record. The
    // message is not stored, so a loaded error has an empty one.
    class Errors : public krExceptionWithString {
    public:
        ~Errors() override = default;
        void dispatchSerialize(krArchive& ar) override;

    protected:
        explicit Errors(const std::basic_string<wchar_t>& message = std::basic_string<wchar_t>())
            : krExceptionWithString(message) {}
        Errors(const Errors&) = default;
        Errors& operator=(const Errors&) = default;
        void serialize_(krArchive& ar, unsigned char version);
    };

// The concrete errors differ only in name and number; each makes itself with
// an empty message for the archive's registry (their records are written in
// cntrdefs.cpp).
#define KR_CONTOUR_ERROR(C, number)                                                         \
    class C : public Errors {                                                               \
    public:                                                                                 \
        explicit C(const std::basic_string<wchar_t>& message = std::basic_string<wchar_t>()) \
            : Errors(message) {}                                                            \
        long errorNumber() const override { return number; }                                \
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }                    \
        void dispatchSerialize(krArchive& ar) override;                                     \
                                                                                            \
    protected:                                                                              \
        void serialize_(krArchive& ar, unsigned char version);                              \
                                                                                            \
    private:                                                                                \
        static krPersistent* make();                                                        \
        static kr_Instantiator sExemplar;                                                   \
    }

    // A contour or region has too few points for the query.
    KR_CONTOUR_ERROR(EmptyContour, 0x10004680);
    // A region set has no regions.
    KR_CONTOUR_ERROR(EmptyRegionSet, 0x10004682);
    // An argument or a combination of arguments is not accepted.
    KR_CONTOUR_ERROR(BadParams, 0x10004683);
    // A region was asked to become an open contour.
    KR_CONTOUR_ERROR(RegionCannotBeSetOpen, 0x10004684);
};

#undef KR_CONTOUR_ERROR

#endif
