// Reference-counted handles: sharing, deletion with the last handle, null,
// const views, incomplete types and concurrent counting.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/std/handle.h"

// Defined in another source file; only declared here.
struct OpaqueShape;
krPtrHandle_const<OpaqueShape> makeOpaqueShape(int* deaths);

namespace {

struct Shape : krRepBase {
    explicit Shape(int* deaths, int value = 0) : deaths(deaths), value(value) {}
    ~Shape() override { ++*deaths; }
    int* deaths;
    int value;
};

struct Square : Shape { using Shape::Shape; };

// A chain whose links hold the next link: releasing one link can release the next.
struct Link : krRepBase {
    explicit Link(int* deaths) : deaths(deaths) {}
    ~Link() override { ++*deaths; }
    int* deaths;
    krPtrHandle<Link> next;
};

TEST(Handle, CopiesShareOneObjectAndTheLastOneDeletesIt) {
    int deaths = 0;
    {
        krPtrHandle<Shape> a(new Shape(&deaths, 1)), b(a), c;
        c = b;
        EXPECT_TRUE(a->refCount() == 3 && a == c);

        krPtrHandle<Shape> other(new Shape(&deaths, 2));
        b = other;  // b leaves a's object for other's
        EXPECT_EQ(a->refCount(), 2);
        b = b;  // self-assignment changes no count
        EXPECT_EQ(other->refCount(), 2);
        a = krPtrHandle<Shape>();
        EXPECT_EQ(deaths, 0);
        c = krPtrHandle<Shape>();
        EXPECT_EQ(deaths, 1);  // the first object went with its last handle

        // Const and base-class handles count on the same object.
        krPtrHandle<Square> sq(new Square(&deaths, 3));
        krPtrHandle_const<Shape> view(sq), view2{krPtrHandle_const<Square>(sq)};
        EXPECT_EQ(sq->refCount(), 3);
        sq = krPtrHandle<Square>();
        view2 = view;
        EXPECT_EQ(view->refCount(), 2);
        // A copied value is a new object with no references of its own.
        krPtrHandle<Shape> dup(new Shape(*view));
        EXPECT_EQ(dup->refCount(), 1);
    }
    EXPECT_EQ(deaths, 4);
}

TEST(Handle, AssigningFromInsideTheReleasedObjectIsSafe) {
    int deaths = 0;
    krPtrHandle<Link> head(new Link(&deaths));
    head->next = krPtrHandle<Link>(new Link(&deaths));
    head->next->next = krPtrHandle<Link>(new Link(&deaths));
    // head holds the only reference to the first link, whose member is the source.
    head = head->next;
    EXPECT_TRUE(deaths == 1 && head->next->refCount() == 1);
    head = krPtrHandle<Link>();
    EXPECT_EQ(deaths, 3);
}

TEST(Handle, NullHandlesThrowBadPointerOnDereference) {
    krPtrHandle<Shape> h;
    krPtrHandle_const<Shape> c;
    EXPECT_TRUE(!h && c.isNull() && h == c);
    EXPECT_THROW(*h, krBadPointer);
    EXPECT_THROW((void)c->value, krBadPointer);
}

TEST(Handle, ObjectsOfADeclaredOnlyClassAreReleased) {
    int deaths = 0;
    {
        krPtrHandle_const<OpaqueShape> a = makeOpaqueShape(&deaths), b(a), c;
        c = b;
        EXPECT_EQ(a.rep()->refCount(), 3);
        a = makeOpaqueShape(&deaths);
        b = c = a;  // the first object's last handle moves away
        EXPECT_EQ(deaths, 1);
    }
    EXPECT_EQ(deaths, 2);
}

TEST(Handle, CountsStayExactUnderConcurrentCopies) {
    int deaths = 0;
    krPtrHandle_const<Shape> shared(new Shape(&deaths));
    const int kThreads = 4, kRounds = 50000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                krPtrHandle_const<Shape> a(shared), b;
                b = a;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_TRUE(shared->refCount() == 1 && deaths == 0);
}

}  // namespace
