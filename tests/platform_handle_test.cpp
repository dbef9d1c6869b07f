// Reference-counted handles: sharing, counts, deletion with the last handle,
// null dereference, const views, incomplete types and concurrent counting.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <type_traits>
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

struct Square : Shape {
    using Shape::Shape;
};

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
        krPtrHandle<Shape> a(new Shape(&deaths, 1));
        EXPECT_EQ(a->refCount(), 1);
        krPtrHandle<Shape> b(a), c;
        c = b;
        EXPECT_EQ(a->refCount(), 3);
        EXPECT_TRUE(a == c);
        c->value = 5;
        EXPECT_EQ(a->value, 5);

        krPtrHandle<Shape> other(new Shape(&deaths, 2));
        b = other;  // b leaves a's object for other's
        EXPECT_EQ(a->refCount(), 2);
        EXPECT_EQ(other->refCount(), 2);
        b = b;  // self-assignment changes no count
        EXPECT_EQ(other->refCount(), 2);
        a = krPtrHandle<Shape>();
        EXPECT_EQ(deaths, 0);
        c = krPtrHandle<Shape>();
        EXPECT_EQ(deaths, 1);  // the first object went with its last handle
    }
    EXPECT_EQ(deaths, 2);
}

TEST(Handle, AssigningFromInsideTheReleasedObjectIsSafe) {
    int deaths = 0;
    krPtrHandle<Link> head(new Link(&deaths));
    head->next = krPtrHandle<Link>(new Link(&deaths));
    head->next->next = krPtrHandle<Link>(new Link(&deaths));
    // head holds the only reference to the first link, whose member is the source.
    head = head->next;
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(head->refCount(), 1);
    EXPECT_EQ(head->next->refCount(), 1);
    head = krPtrHandle<Link>();
    EXPECT_EQ(deaths, 3);
}

TEST(Handle, NullHandlesThrowBadPointerOnDereference) {
    krPtrHandle<Shape> h;
    krPtrHandle_const<Shape> c;
    EXPECT_FALSE(h);
    EXPECT_TRUE(c.isNull());
    EXPECT_THROW(*h, krBadPointer);
    EXPECT_THROW((void)h->value, krBadPointer);
    EXPECT_THROW((void)c->value, krBadPointer);
    EXPECT_TRUE(h == c);
}

TEST(Handle, ConstHandlesShareWithMutableAndDerivedHandles) {
    static_assert(std::is_same<decltype(krPtrHandle_const<Shape>().get()), const Shape*>::value);
    static_assert(!std::is_convertible<krPtrHandle_const<Shape>, krPtrHandle<Shape>>::value);
    int deaths = 0;
    {
        krPtrHandle<Square> sq(new Square(&deaths, 3));
        krPtrHandle<Shape> base(sq);
        krPtrHandle_const<Shape> view(sq);
        krPtrHandle_const<Shape> view2{krPtrHandle_const<Square>(sq)};
        EXPECT_EQ(sq->refCount(), 4);
        base->value = 9;
        EXPECT_EQ(view->value, 9);
        EXPECT_TRUE(view == sq);
        sq = krPtrHandle<Square>();
        base = krPtrHandle<Shape>();
        view2 = view;
        EXPECT_EQ(view->refCount(), 2);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(Handle, CopyOfASharedObjectStartsWithoutReferences) {
    int deaths = 0;
    krPtrHandle<Shape> a(new Shape(&deaths, 4)), a2(a);
    krPtrHandle<Shape> b(new Shape(*a));  // a new object with the same value
    EXPECT_EQ(b->refCount(), 1);
    EXPECT_EQ(b->value, 4);
    *b = *a;  // assigning values leaves the counts alone
    EXPECT_EQ(a->refCount(), 2);
    EXPECT_EQ(b->refCount(), 1);
}

TEST(Handle, ObjectsOfADeclaredOnlyClassAreReleased) {
    int deaths = 0;
    {
        krPtrHandle_const<OpaqueShape> a = makeOpaqueShape(&deaths);
        krPtrHandle_const<OpaqueShape> b(a), c;
        c = b;
        EXPECT_EQ(a.rep()->refCount(), 3);
        a = makeOpaqueShape(&deaths);
        b = a;
        c = a;  // the first object's last handle moves away
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
                krPtrHandle_const<Shape> a(shared);
                krPtrHandle_const<Shape> b;
                b = a;
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(shared->refCount(), 1);
    EXPECT_EQ(deaths, 0);
}

TEST(Handle, InterlockedOperationsReturnDistinctNewValues) {
    // Every increment, then every decrement, from several threads at once: each
    // call must see and return its own value.
    volatile long counter = 0;
    const int kThreads = 4, kRounds = 20000;
    for (long (*op)(volatile long*) : {&kfInterlockedIncrement, &kfInterlockedDecrement}) {
        std::vector<std::vector<long>> seen(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kRounds; ++i) seen[t].push_back(op(&counter));
            });
        for (auto& th : threads) th.join();
        std::vector<long> all;
        for (const auto& v : seen) all.insert(all.end(), v.begin(), v.end());
        std::sort(all.begin(), all.end());
        EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
        EXPECT_EQ(all.size(), std::size_t(kThreads) * kRounds);
    }
    EXPECT_EQ(counter, 0);
}

}  // namespace
