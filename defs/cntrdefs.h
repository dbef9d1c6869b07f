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

    // A contour or region has too few points for the query.
    class EmptyContour : public Errors {
    public:
        explicit EmptyContour(const std::basic_string<wchar_t>& message = std::basic_string<wchar_t>())
            : Errors(message) {}
        long errorNumber() const override { return 0x10004680; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
        void dispatchSerialize(krArchive& ar) override;

    protected:
        void serialize_(krArchive& ar, unsigned char version);

    private:
        static krPersistent* make();
        static kr_Instantiator sExemplar;
    };

    // A region set has no regions.
    class EmptyRegionSet : public Errors {
    public:
        explicit EmptyRegionSet(const std::basic_string<wchar_t>& message = std::basic_string<wchar_t>())
            : Errors(message) {}
        long errorNumber() const override { return 0x10004682; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
        void dispatchSerialize(krArchive& ar) override;

    protected:
        void serialize_(krArchive& ar, unsigned char version);

    private:
        static krPersistent* make();
        static kr_Instantiator sExemplar;
    };

    // An argument or a combination of arguments is not accepted.
    class BadParams : public Errors {
    public:
        explicit BadParams(const std::basic_string<wchar_t>& message = std::basic_string<wchar_t>())
            : Errors(message) {}
        long errorNumber() const override { return 0x10004683; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
        void dispatchSerialize(krArchive& ar) override;

    protected:
        void serialize_(krArchive& ar, unsigned char version);

    private:
        static krPersistent* make();
        static kr_Instantiator sExemplar;
    };

    // A region was asked to become an open contour.
    class RegionCannotBeSetOpen : public Errors {
    public:
        explicit RegionCannotBeSetOpen(
            const std::basic_string<wchar_t>& message = std::basic_string<wchar_t>())
            : Errors(message) {}
        long errorNumber() const override { return 0x10004684; }
        void suicideAndRethrow() override { kfSuicideAndRethrow(this); }
        void dispatchSerialize(krArchive& ar) override;

    protected:
        void serialize_(krArchive& ar, unsigned char version);

    private:
        static krPersistent* make();
        static kr_Instantiator sExemplar;
    };
};

#endif
