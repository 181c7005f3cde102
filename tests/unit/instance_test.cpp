// One game per folder: a claimed folder is refused to a second claimant until the holder lets go,
// a waiting claimant gets it as soon as that happens, other folders stay free, and the successor
// mark is taken once. The second claimant runs on a thread of its own, as a Windows mutex is its
// owning thread's to take again.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "runtime/platform/system/instance.h"
#include "tests/support/platform.h"
#include "tests/support/temp_folder.h"

namespace {
using Clock = std::chrono::steady_clock;

// A claim made on another thread: its result and how long it waited, in ms.
std::pair<InstanceClaim, long> claim_elsewhere(const std::string& folder, uint32_t wait_ms) {
    std::pair<InstanceClaim, long> result{INSTANCE_UNLOCKABLE, 0};
    std::thread([&] {
        auto start = Clock::now();
        InstanceLock* lock = nullptr;
        result.first = instance_claim(folder, wait_ms, &lock);
        result.second = long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        instance_release(lock);
    }).join();
    return result;
}

TEST(Instance, FolderHeldUntilReleasedWaitingClaimantGetsIt) {
    if (test_platform::kInThePage) GTEST_SKIP() << "claims from other threads (the page has no threads, and one game a tab)";
    TempFolder a, b;
    InstanceLock* held = nullptr;
    ASSERT_EQ(instance_claim(a.path(), 0, &held), INSTANCE_CLAIMED);
    EXPECT_EQ(claim_elsewhere(a.path(), 0).first, INSTANCE_HELD_ELSEWHERE);
    EXPECT_EQ(claim_elsewhere(a.path(), 300).first, INSTANCE_HELD_ELSEWHERE);
    EXPECT_EQ(claim_elsewhere(b.path(), 0).first, INSTANCE_CLAIMED);

    std::pair<InstanceClaim, long> waited;
    std::thread waiter([&] { waited = claim_elsewhere(a.path(), 5000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    instance_release(held);  // on the thread that claimed it
    waiter.join();
    EXPECT_EQ(waited.first, INSTANCE_CLAIMED);
    EXPECT_LT(waited.second, 4000);
    EXPECT_EQ(claim_elsewhere(a.path(), 0).first, INSTANCE_CLAIMED);
}

TEST(Instance, SuccessorMarkIsTakenOnce) {
    EXPECT_FALSE(instance_take_successor_mark());
    instance_mark_successor();
    EXPECT_TRUE(instance_take_successor_mark());
    EXPECT_FALSE(instance_take_successor_mark());
}
}  // namespace
