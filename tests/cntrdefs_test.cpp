// The library's error classes: numbers, messages, copying, and the
// copy-delete-throw of suicideAndRethrow.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "defs/cntrdefs.h"

namespace {

using Defs = krContourDefs;

static_assert(std::is_abstract<Defs::Errors>::value);
static_assert(std::is_base_of<krExceptionWithString, Defs::Errors>::value);
static_assert(std::is_base_of<krPersistent, Defs::Errors>::value);
// A catch of the library's base must let the support layer's own errors through.
static_assert(!std::is_base_of<Defs::Errors, krBadPointer>::value);
static_assert(!std::is_base_of<Defs::Errors, krMathError::Singular>::value);

// Counts destructions, so a test can see that the heap object was freed.
int gDeaths = 0;
template <class C>
struct Counted : C {
    using C::C;
    ~Counted() override { ++gDeaths; }
};

template <class C>
class ErrorClass : public ::testing::Test {};

template <class C, long N>
struct Error {
    using Type = C;
    static constexpr long kNumber = N;
};
using AllErrors = ::testing::Types<Error<Defs::EmptyContour, 0x10004680>,
                                   Error<Defs::EmptyRegionSet, 0x10004682>,
                                   Error<Defs::BadParams, 0x10004683>,
                                   Error<Defs::RegionCannotBeSetOpen, 0x10004684>>;
TYPED_TEST_SUITE(ErrorClass, AllErrors);

TYPED_TEST(ErrorClass, NumberAndDefaultMessage) {
    using C = typename TypeParam::Type;
    static_assert(!std::is_abstract<C>::value);
    const C e;
    EXPECT_EQ(e.errorNumber(), TypeParam::kNumber);
    EXPECT_EQ(e.message(), L"");
    const krException& base = e;
    EXPECT_EQ(base.errorNumber(), TypeParam::kNumber);
}

TYPED_TEST(ErrorClass, MessageSurvivesCopyAndAssignment) {
    using C = typename TypeParam::Type;
    const C original(L"invalid contour");
    const C copy(original);
    C assigned(L"something else");
    assigned = original;
    for (const krException* e : {static_cast<const krException*>(&original),
                                 static_cast<const krException*>(&copy),
                                 static_cast<const krException*>(&assigned)}) {
        EXPECT_EQ(e->message(), L"invalid contour");
        EXPECT_EQ(e->errorNumber(), TypeParam::kNumber);
    }
    assigned = C();
    EXPECT_EQ(assigned.message(), L"");
    EXPECT_EQ(original.message(), L"invalid contour");
}

TYPED_TEST(ErrorClass, SuicideAndRethrowFreesTheObjectAndThrowsACopy) {
    using C = typename TypeParam::Type;
    // Caught by the concrete class, by the library's base and by the layer's base.
    gDeaths = 0;
    krException* heap = new Counted<C>(L"gone");
    try {
        heap->suicideAndRethrow();
        ADD_FAILURE() << "no throw";
    } catch (const C& e) {
        EXPECT_EQ(gDeaths, 1);  // freed before the copy is thrown
        EXPECT_EQ(e.message(), L"gone");
        EXPECT_EQ(e.errorNumber(), TypeParam::kNumber);
    }
    try {
        (new C(L"by base"))->suicideAndRethrow();
    } catch (const Defs::Errors& e) {
        EXPECT_EQ(e.message(), L"by base");
        EXPECT_EQ(e.errorNumber(), TypeParam::kNumber);
    }
    try {
        (new C(L"by root"))->suicideAndRethrow();
    } catch (const krException& e) {
        EXPECT_EQ(e.message(), L"by root");
        EXPECT_EQ(e.errorNumber(), TypeParam::kNumber);
    }
    EXPECT_EQ(gDeaths, 1);
}

}  // namespace
