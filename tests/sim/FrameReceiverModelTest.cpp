#include "support/TestSupport.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

using sim::frame::base;

// The receiver's registers as the plug-in sees them: the memory file mapped at the
// core's physical address.
class MappedReceiver {
public:
    explicit MappedReceiver(const std::string& path) {
        const int fd = open(path.c_str(), O_RDWR | O_SYNC);
        if (fd < 0)
            return;
        void* mapped =
            mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off_t>(base));
        close(fd);
        if (mapped != MAP_FAILED)
            registers = static_cast<volatile uint32_t*>(mapped);
    }
    ~MappedReceiver() {
        if (registers != nullptr)
            munmap(const_cast<uint32_t*>(registers), 4096);
    }
    volatile uint32_t& at(uint32_t offset) { return registers[offset / 4]; }
    bool mapped() const { return registers != nullptr; }

private:
    volatile uint32_t* registers = nullptr;
};

class FrameReceiverModelTest : public testsupport::HeadTest {
protected:
    void sleep100ms() { sim::Clock::sleepFor(sim::Micros(100000)); }
};

TEST_F(FrameReceiverModelTest, MemoryImageHoldsIdentityAndIsSharedWithTheMapping) {
    // Catches identity words at wrong addresses or a mapping that does not share the image.
    EXPECT_EQ(head().physicalWord(0xFF200000), 0x00001234u);
    EXPECT_EQ(head().physicalWord(0xFF200004), 0x5E6F7A8Bu);
    EXPECT_EQ(head().physicalWord(0xFF204300), 0x00000C0Cu);
    MappedReceiver rx(head().memoryPath());
    ASSERT_TRUE(rx.mapped());
    EXPECT_EQ(rx.at(sim::frame::coreId), 0x0120CA11u);
    EXPECT_EQ(rx.at(sim::frame::coreRev), 0x00010002u);
    EXPECT_EQ(rx.at(sim::frame::coreCaps), 0x0000001Cu);
    rx.at(sim::frame::laneInversion) = 0x0ABCDEF0;
    EXPECT_EQ(head().frameRegister(sim::frame::laneInversion), 0x0ABCDEF0u);

    // A reset starts from a fresh image and removes the old one.
    const std::string oldPath = head().memoryPath();
    resetHead(sim::HeadConfig{});
    EXPECT_NE(access(oldPath.c_str(), F_OK), 0);
    EXPECT_EQ(head().frameRegister(sim::frame::laneInversion), 0u);
}

TEST_F(FrameReceiverModelTest, AbsentMemoryCannotBeOpened) {
    // Catches the "no /dev/mem" fault knob leaving the device reachable.
    sim::HeadConfig config;
    config.memoryAbsent = true;
    resetHead(config);
    EXPECT_LT(open(head().memoryPath().c_str(), O_RDWR | O_SYNC), 0);
}

TEST_F(FrameReceiverModelTest, PllLocksAfterTheConfiguredPollsAndAlignsAfterHold) {
    // Catches a lock that comes a poll early or late, or alignment without the DPA hold.
    sim::HeadConfig config;
    config.pllLockPolls = 2;
    config.alignPolls = 1;
    resetHead(config);
    MappedReceiver rx(head().memoryPath());
    ASSERT_TRUE(rx.mapped());
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);
    sleep100ms(); // not enabled: does not count
    rx.at(sim::frame::control) = rx.at(sim::frame::control) | 0x80000000u;
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);
    sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);
    EXPECT_EQ(rx.at(sim::frame::dpaLock), 0u);
    sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 1u);
    EXPECT_EQ(rx.at(sim::frame::dpaLock), 0x0FFFFFFFu);

    sleep100ms(); // no hold yet: alignment does not count
    EXPECT_EQ(rx.at(sim::frame::status) & 2u, 0u);
    rx.at(sim::frame::dpaHold) = 0x0FFFFFFF;
    EXPECT_EQ(rx.at(sim::frame::status) & 2u, 0u);
    sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 2u, 2u);

    std::vector<std::string> signals;
    for (const auto& event : head().trace())
        if (event.signal.rfind("rx.", 0) == 0)
            signals.push_back(event.signal + "=" + std::to_string(event.value));
    EXPECT_EQ(signals, (std::vector<std::string>{"rx.enable=1", "rx.pllLocked=1", "rx.aligned=1"}));
}

TEST_F(FrameReceiverModelTest, PresetLockAndNeverLock) {
    // Catches the healthy default needing a sleep to lock, or "never" locking after all.
    MappedReceiver healthy(head().memoryPath());
    ASSERT_TRUE(healthy.mapped());
    EXPECT_EQ(healthy.at(sim::frame::status) & 3u, 3u);
    EXPECT_EQ(healthy.at(sim::frame::dpaLock), 0x0FFFFFFFu);

    sim::HeadConfig config;
    config.pllLockPolls = std::nullopt;
    config.dpaLockMask = 0x0FFFFFFE;
    resetHead(config);
    MappedReceiver rx(head().memoryPath());
    ASSERT_TRUE(rx.mapped());
    rx.at(sim::frame::control) = 0x80000000u;
    for (int i = 0; i < 250; ++i)
        sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);
    EXPECT_EQ(rx.at(sim::frame::dpaLock), 0u);

    head().configure([](sim::HeadConfig& c) { c.pllLockPolls = 0; });
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 1u);
    EXPECT_EQ(rx.at(sim::frame::dpaLock), 0x0FFFFFFEu); // one lane never locks
}

} // namespace
