#include "support/TestSupport.h"

#include "Tarnis/tcGpio.h"
#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tcSensorBoard.h"
#include "fpgacores/tcPwm.h"
#include "tcSPIDevice.h"

#include <atomic>
#include <thread>

namespace {

struct Counter : Vistrel::tcObserver {
    std::atomic<int> updates{0};
    void update(Vistrel::tsUpdate&) override { ++updates; }
};

struct Reporter : Vistrel::tcStatusReporter {};

class ConcurrencyTest : public testsupport::HeadTest {};

TEST_F(ConcurrencyTest, StandInsMayBeUsedFromSeveralThreadsAtOnce) {
    // Catches unguarded head state (run under ThreadSanitizer): the GPIO notification thread,
    // the host thread and register-file clients all reach the head together.
    Counter counter;
    auto* file = Vistrel::tcRegisterFile::getInstance(nullptr, true);
    file->observable.registerObserver(&counter);
    powerSensorChip(); // the chip and the lines are set up as the sensor's power-up leaves them
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    ASSERT_TRUE(pwm.initialized());
    pwm.setPeriodTime(std::chrono::microseconds(1000));
    pwm.setDutyTime(std::chrono::microseconds(1));
    pwm.enableCore(true);
    constexpr int rounds = 200;

    std::thread spiThread([] {
        tcSPIDevice spi("/dev/spidev0.0");
        for (int i = 0; i < rounds; ++i) {
            const unsigned char frame[5] = {0x80, 0x30, 0x00, 0x00, static_cast<unsigned char>(i)};
            spi.write(frame, 5);
            sim::Clock::sleepFor(sim::Micros(100));
        }
    });
    std::thread gpioThread([] {
        Tarnis::tcGpioSingle line(40);
        Reporter reporter;
        for (int i = 0; i < rounds; ++i) {
            line.SetValue(1); // XRESET stays released: the SPI frames go on meanwhile
            reporter.updateStatusFMT(Vistrel::tcStatusReporter::eeStatusInfo, "round %d", i);
        }
    });
    std::thread pwmThread([&] {
        for (int i = 0; i < rounds / 10; ++i)
            pwm.waitForInterrupt(std::chrono::microseconds(1100));
    });
    std::thread clientThread([&] {
        for (int i = 0; i < rounds; ++i)
            file->update_word(0x3A000 + 4 * (i % 4), static_cast<uint32_t>(i));
    });
    for (int i = 0; i < rounds; ++i) {
        head().step();
        (void)head().spiFrames();
        (void)head().gpioEdges();
        (void)head().trace();
        (void)head().pwm();
        (void)file->words();
    }
    spiThread.join();
    gpioThread.join();
    pwmThread.join();
    clientThread.join();
    file->observable.unregisterObserver(&counter);

    EXPECT_EQ(head().spiFrames().size(), static_cast<size_t>(rounds));
    EXPECT_EQ(head().statusLines().size(), static_cast<size_t>(rounds));
    EXPECT_EQ(counter.updates.load(), rounds);
    EXPECT_GT(head().pwm().pulses, 0);
}

} // namespace
