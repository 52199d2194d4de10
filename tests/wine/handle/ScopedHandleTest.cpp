// The scoped handle: one release per handle however it is moved, reset or handed on, the thread's
// last error unchanged by a release, and the "no handle" values of the kernel and find traits.
#include <windows.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "ScopedHandle.h"

namespace {

// Records every release; a release fails the way CloseHandle does on a bad handle.
struct CountingTraits {
    using Handle = int;
    static std::vector<int>& released() {
        static std::vector<int> list;
        return list;
    }
    static Handle none() noexcept { return 0; }
    static bool isValid(Handle handle) noexcept { return handle != 0; }
    static void release(Handle handle) noexcept {
        released().push_back(handle);
        SetLastError(ERROR_INVALID_HANDLE);
    }
};
using Counted = ScopedHandle<CountingTraits>;

class ScopedHandleTest : public ::testing::Test {
  protected:
    void SetUp() override { CountingTraits::released().clear(); }
    static const std::vector<int>& released() { return CountingTraits::released(); }
};

// Whether `handle` still names an open kernel object of this process.
bool isOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

TEST_F(ScopedHandleTest, MovesHandOwnershipOnAndLeaveTheSourceEmpty) {
    {
        Counted first(7);
        Counted second(std::move(first));
        EXPECT_FALSE(first.valid());
        EXPECT_EQ(second.get(), 7);

        Counted third(9);
        third = std::move(second);  // 9 goes, 7 moves in
        EXPECT_FALSE(second.valid());
        EXPECT_EQ(released(), std::vector<int>{9});

        Counted& alias = third;
        third = std::move(alias);  // a move onto itself keeps the handle
        EXPECT_EQ(third.get(), 7);
        EXPECT_EQ(released(), std::vector<int>{9});
    }
    EXPECT_EQ(released(), (std::vector<int>{9, 7}));
}

TEST_F(ScopedHandleTest, ResetReceiveAndTakeReleaseEachHandleOnce) {
    {
        Counted handle(1);
        handle.reset(2);
        handle.reset();
        handle.reset();
        EXPECT_FALSE(handle);
        EXPECT_EQ(released(), (std::vector<int>{1, 2}));

        handle.reset(3);
        int* slot = handle.receive();  // 3 goes before the slot is filled
        EXPECT_EQ(released(), (std::vector<int>{1, 2, 3}));
        *slot = 4;
        EXPECT_EQ(handle.get(), 4);

        EXPECT_EQ(handle.take(), 4);  // the caller owns it now
        EXPECT_FALSE(handle);
    }
    EXPECT_EQ(released(), (std::vector<int>{1, 2, 3}));
}

TEST_F(ScopedHandleTest, ReleaseKeepsTheLastError) {
    Counted handle(5);
    SetLastError(ERROR_FILE_NOT_FOUND);
    handle.reset();
    EXPECT_EQ(released(), std::vector<int>{5});
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // The same for a real handle whose close succeeds, and at the end of a scope.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        const ScopedKernelHandle owner(event);
        SetLastError(ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(isOpen(event));
}

TEST_F(ScopedHandleTest, KernelHandlesCloseOnceAndInvalidValuesAreNoHandle) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    ScopedKernelHandle owner(event);
    ScopedKernelHandle moved(std::move(owner));
    owner.reset();  // empty after the move: must not close the moved handle
    EXPECT_TRUE(isOpen(event));
    moved.reset();
    EXPECT_FALSE(isOpen(event));

    EXPECT_FALSE(ScopedKernelHandle(INVALID_HANDLE_VALUE).valid());
    EXPECT_FALSE(ScopedKernelHandle().valid());
    // FindFirstFile reports failure with INVALID_HANDLE_VALUE, which is also its empty value.
    EXPECT_EQ(ScopedFindHandle().get(), INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAA found;
    const ScopedFindHandle none(FindFirstFileA("C:\\cdk-no-such-folder\\*", &found));
    EXPECT_FALSE(none.valid());
}

}  // namespace
