// The derived regions: mapping, splicing, the outer hull and the regularized
// outline. Placeholders until the tracer lands.
#include "cntr/region.h"

namespace {
[[noreturn]] void notYet() { throw krContourDefs::BadParams(L"not implemented yet"); }
}  // namespace

void krRegion::map(const krXform<2>&, krRegion&) const { notYet(); }
void krRegion::splice(const krRegion&, krRegion&) const { notYet(); }
void krRegion::outerHull(krRegion&) const { notYet(); }
void krRegion::regularize(krRegion&) const { notYet(); }
void krRegion::outerHullRegularize(krRegion&, bool) const { notYet(); }
