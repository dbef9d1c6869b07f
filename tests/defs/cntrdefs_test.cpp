// The library's error classes: numbers, messages, and the copy-delete-throw of
// suicideAndRethrow.
#include <gtest/gtest.h>

#include <type_traits>

#include "defs/cntrdefs.h"

namespace {

using Defs = krContourDefs;

static_assert(std::is_base_of<krExceptionWithString, Defs::Errors>::value);
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

// The heap object is freed before its copy is thrown, and the copy is caught
// as the concrete class and as the library's base.
template <class C>
void expectSuicideAndRethrow(long number) {
    SCOPED_TRACE(number);
    gDeaths = 0;
    try {
        (new Counted<C>(L"gone"))->suicideAndRethrow();
        ADD_FAILURE() << "no throw";
    } catch (const C& e) {
        EXPECT_TRUE(gDeaths == 1 && e.message() == L"gone" && e.errorNumber() == number);
    }
    EXPECT_THROW((new C(L"by base"))->suicideAndRethrow(), Defs::Errors);
    EXPECT_EQ(gDeaths, 1);
}

TEST(Errors, SuicideAndRethrowFreesTheObjectAndThrowsACopy) {
    expectSuicideAndRethrow<Defs::EmptyContour>(0x10004680);
    expectSuicideAndRethrow<Defs::EmptyRegionSet>(0x10004682);
    expectSuicideAndRethrow<Defs::BadParams>(0x10004683);
    expectSuicideAndRethrow<Defs::RegionCannotBeSetOpen>(0x10004684);
}

}  // namespace
