#include "support/TestSupport.h"

#include "PlatformHooks.h"

#include <chrono>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

class ClockTest : public testsupport::HeadTest {
protected:
    void TearDown() override {
        sim::Clock::useVirtualTime(true);
        HeadTest::TearDown();
    }
};

TEST_F(ClockTest, VirtualSleepsAdvanceAtOnceAndResetRestartsAtZero) {
    // Catches virtual sleeps that really wait, lose time, or survive a head reset.
    ASSERT_TRUE(sim::Clock::isVirtual());
    EXPECT_EQ(sim::Clock::now(), sim::Micros(0));
    sim::Clock::sleepFor(sim::Micros(300000));
    sim::Clock::sleepFor(sim::Micros(-5));
    sim::Clock::sleepFor(sim::Micros(10000));
    EXPECT_EQ(sim::Clock::now(), sim::Micros(310000));
    resetHead(sim::HeadConfig{});
    EXPECT_EQ(sim::Clock::now(), sim::Micros(0));
}

TEST_F(ClockTest, RealModeReallySleeps) {
    // Catches a real clock that returns early, as a signal-cut nanosleep would.
    sim::Clock::useVirtualTime(false);
    head().reset();
    const sim::Micros before = sim::Clock::now();
    sim::Clock::sleepFor(sim::Micros(20000));
    EXPECT_GE(sim::Clock::now() - before, sim::Micros(20000));
}

TEST_F(ClockTest, PlatformHooksLeadToTheHeadAndItsClock) {
    // Catches hooks the plug-in cannot find (not exported) or that bypass the head.
    void* symbol = dlsym(RTLD_DEFAULT, VISTREL_PLATFORM_HOOKS_SYMBOL);
    ASSERT_NE(symbol, nullptr);
    const tsPlatformHooks* hooks = reinterpret_cast<tfPlatformHooks>(symbol)();
    ASSERT_NE(hooks, nullptr);
    EXPECT_EQ(hooks->version, static_cast<uint32_t>(kPlatformHooksVersion));
    EXPECT_EQ(std::string(hooks->memoryDevicePath()), head().memoryPath());
    const int fd = open(hooks->memoryDevicePath(), O_RDWR | O_SYNC);
    EXPECT_GE(fd, 0);
    if (fd >= 0)
        close(fd);
    hooks->sleepMicroseconds(1234);
    EXPECT_EQ(sim::Clock::now(), sim::Micros(1234));
}

} // namespace
