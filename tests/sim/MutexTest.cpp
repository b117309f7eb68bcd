#include "support/TestSupport.h"

#include "Vistrel/tcMutex.h"

#include <cerrno>
#include <thread>

namespace {

TEST(FrameworkMutexTest, LockAfterOwnerDeathAnswersOwnerDead) {
    // Catches a mutex built without the robust attribute: a dead owner would hang the board.
    if (testsupport::robustFutexesUnavailable())
        GTEST_SKIP() << "robust futexes unavailable (set_robust_list: ENOSYS, as under qemu-user)";
    Vistrel::tcMutex mutex(true);
    std::thread owner([&] { ASSERT_EQ(pthread_mutex_lock(mutex.getMutex()), 0); });
    owner.join(); // exits holding the lock

    ASSERT_EQ(pthread_mutex_lock(mutex.getMutex()), EOWNERDEAD);
    EXPECT_EQ(EOWNERDEAD, 130);
    EXPECT_EQ(pthread_mutex_consistent(mutex.getMutex()), 0);
    EXPECT_EQ(pthread_mutex_unlock(mutex.getMutex()), 0);
    EXPECT_EQ(pthread_mutex_lock(mutex.getMutex()), 0);
    EXPECT_EQ(pthread_mutex_unlock(mutex.getMutex()), 0);
}

TEST(FrameworkMutexTest, RecursiveOnlyWhenAsked) {
    // Catches a board mutex that deadlocks when an operation calls another locked operation.
    Vistrel::tcMutex recursive(true);
    ASSERT_EQ(pthread_mutex_lock(recursive.getMutex()), 0);
    EXPECT_EQ(pthread_mutex_lock(recursive.getMutex()), 0);
    EXPECT_EQ(pthread_mutex_unlock(recursive.getMutex()), 0);
    EXPECT_EQ(pthread_mutex_unlock(recursive.getMutex()), 0);

    Vistrel::tcMutex plain(false);
    ASSERT_EQ(pthread_mutex_lock(plain.getMutex()), 0);
    EXPECT_EQ(pthread_mutex_trylock(plain.getMutex()), EBUSY);
    EXPECT_EQ(pthread_mutex_unlock(plain.getMutex()), 0);
}

} // namespace
