#include "defs/cntrdefs.h"

#include <typeinfo>

#include "platform/std/archive.h"

void krContourDefs::Errors::dispatchSerialize(krArchive& ar) {
    kfSerializeLevel(ar, static_cast<Errors*>(this), sizeof(Errors), 0,
                     [&](unsigned char version) { Errors::serialize_(ar, version); });
}

void krContourDefs::Errors::serialize_(krArchive& ar, unsigned char version) {
    if (version != 0) throw krArchive::UnknownVersion("krContourDefs::Errors", 0);
    krException::dispatchSerialize(ar);
}

// The four concrete errors differ only in name: each makes itself with an
// empty message, enters the registry under its qualified name, and writes its
// own version byte in front of the Errors level.
#define KR_CONTOUR_ERROR_RECORD(C)                                                          \
    krPersistent* krContourDefs::C::make() { return new C(); }                              \
                                                                                            \
    kr_Instantiator krContourDefs::C::sExemplar(typeid(krContourDefs::C),                   \
                                                &krContourDefs::C::make,                    \
                                                "krContourDefs::" #C);                      \
                                                                                            \
    void krContourDefs::C::dispatchSerialize(krArchive& ar) {                               \
        kfSerializeLevel(ar, this, sizeof(C), 0,                                            \
                         [&](unsigned char version) { C::serialize_(ar, version); });       \
    }                                                                                       \
                                                                                            \
    void krContourDefs::C::serialize_(krArchive& ar, unsigned char version) {               \
        if (version != 0) throw krArchive::UnknownVersion("krContourDefs::" #C, 0);         \
        Errors::dispatchSerialize(ar);                                                      \
    }

KR_CONTOUR_ERROR_RECORD(EmptyContour)
KR_CONTOUR_ERROR_RECORD(EmptyRegionSet)
KR_CONTOUR_ERROR_RECORD(BadParams)
KR_CONTOUR_ERROR_RECORD(RegionCannotBeSetOpen)

#undef KR_CONTOUR_ERROR_RECORD
