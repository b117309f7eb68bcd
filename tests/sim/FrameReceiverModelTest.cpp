#include "fpga/tcRegisterWindow.h"
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

// The receiver's registers through the plug-in's accessor, as the plug-in reaches them.
struct Receiver {
    tcRegisterWindow window{base, 64};
    uint32_t at(uint32_t offset) { return window.read(offset); }
    void set(uint32_t offset, uint32_t value) { window.write(offset, value); }
    // The lock word's lanes (bits 27..0); bits 31..28 are not lanes.
    uint32_t lanesLocked() { return at(sim::frame::dpaLock) & 0x0FFFFFFF; }
    // Lanes inverted as the board wires them, then the core enabled.
    void enable() {
        set(sim::frame::laneInversion, sim::Head::instance().config().laneInversion);
        set(sim::frame::control, at(sim::frame::control) | 0x80000000u);
    }
    // The plug-in's training order: phases free, lanes and FIFOs in reset, lanes released.
    void train() {
        set(sim::frame::dpaHold, 0);
        set(sim::frame::dpaReset, 0x0FFFFFFF);
        set(sim::frame::dpaFifoReset, 0x0FFFFFFF);
        set(sim::frame::dpaReset, 0);
    }
    void holdAndRun() {
        set(sim::frame::dpaFifoReset, 0);
        set(sim::frame::dpaHold, 0x0FFFFFFF);
    }
};

TEST_F(FrameReceiverModelTest, PllLocksAfterTheConfiguredDelayAndAlignsAfterTraining) {
    // Catches a lock that comes early or late, DPA lock without training, or alignment
    // before every lane is held with its FIFO running.
    sim::HeadConfig config;
    config.pllLockDelay = sim::Micros(200000);
    config.alignDelay = sim::Micros(100000);
    resetHead(config);
    powerSensorChip();
    Receiver rx;
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);
    sleep100ms(); // not enabled: does not count
    rx.enable();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);
    sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);
    sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 1u);
    EXPECT_EQ(rx.lanesLocked(), 0u); // no lane trained yet

    rx.train();
    EXPECT_EQ(rx.lanesLocked(), 0x0FFFFFFFu);
    sleep100ms(); // phases not held: alignment does not count
    EXPECT_EQ(rx.at(sim::frame::status) & 2u, 0u);
    rx.holdAndRun();
    EXPECT_EQ(rx.at(sim::frame::status) & 2u, 0u);
    sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 3u, 3u);

    std::vector<std::string> signals;
    for (const auto& event : head().trace())
        if (event.signal.rfind("rx.", 0) == 0)
            signals.push_back(event.signal + "=" + std::to_string(event.value));
    EXPECT_EQ(signals, (std::vector<std::string>{"rx.enable=1", "rx.pllLocked=1", "rx.aligned=1"}));
}

TEST_F(FrameReceiverModelTest, PllNeedsTheCoreEnabledAndTheSensorRunning) {
    // Catches lock reported from reset, without the enable, or without the sensor's clock.
    Receiver rx;
    EXPECT_EQ(rx.at(sim::frame::status) & 3u, 0u);
    rx.enable();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u); // the sensor is in reset, unclocked
    powerSensorChip();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 1u);
    rx.train();
    rx.holdAndRun();
    EXPECT_EQ(rx.at(sim::frame::status) & 3u, 3u);
    rx.set(sim::frame::control, 0); // disabled: lock, lanes and alignment are lost
    EXPECT_EQ(rx.at(sim::frame::status) & 3u, 0u);
    EXPECT_EQ(rx.lanesLocked(), 0u);
}

TEST_F(FrameReceiverModelTest, NeverLockingPllAndALaneThatNeverLocks) {
    // Catches "never" locking after all, or a lane outside the lock mask locking.
    sim::HeadConfig config;
    config.pllLockDelay = std::nullopt;
    config.dpaLockMask = 0x0FFFFFFE;
    resetHead(config);
    powerSensorChip();
    Receiver rx;
    rx.enable();
    for (int i = 0; i < 250; ++i)
        sleep100ms();
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 0u);

    head().configure([](sim::HeadConfig& c) { c.pllLockDelay = sim::Micros(0); });
    EXPECT_EQ(rx.at(sim::frame::status) & 1u, 1u);
    rx.train();
    EXPECT_EQ(rx.lanesLocked(), 0x0FFFFFFEu);
}

TEST_F(FrameReceiverModelTest, ALaneLocksOnlyInvertedAsWiredFromBeforeItsTraining) {
    // Catches training that ignores the lane inversion: never written, written after the
    // training, or changed after the lock (that lane drops out).
    resetHeadWith([](sim::HeadConfig& c) { c.laneInversion = 0x0200443A; });
    powerSensorChip();
    Receiver rx;
    rx.set(sim::frame::control, 0x80000000u); // inversion never written: 0
    rx.train();
    EXPECT_EQ(rx.lanesLocked(), ~0x0200443Au & 0x0FFFFFFF);
    rx.set(sim::frame::laneInversion, 0x0200443A); // after the training
    EXPECT_EQ(rx.lanesLocked(), ~0x0200443Au & 0x0FFFFFFF);
    rx.train();
    EXPECT_EQ(rx.lanesLocked(), 0x0FFFFFFFu);
    rx.set(sim::frame::laneInversion, 0x0200443B);
    EXPECT_EQ(rx.lanesLocked(), 0x0FFFFFFEu);
}

TEST_F(FrameReceiverModelTest, LockedLanesGrowOverTheConfiguredPolls) {
    // Catches a DPA lock set that does not grow with time, or grows past its mask.
    sim::HeadConfig config;
    config.dpaLockPolls = 3;
    resetHead(config);
    powerSensorChip();
    Receiver rx;
    rx.enable();
    rx.train();
    std::vector<uint32_t> seen;
    for (int poll = 0; poll < 4; ++poll) {
        seen.push_back(rx.lanesLocked());
        sim::Clock::sleepFor(sim::Micros(10000));
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{0x0u, 0x1FFu, 0x3FFFFu, 0x0FFFFFFFu}));
}

} // namespace
