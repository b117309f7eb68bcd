// One test per hardware rule of the strict head: each provokes its rule and checks both the
// log entry and what the hardware did instead (a frame not latched, no reading, no drive).
#include "fpga/tcRegisterWindow.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include "Tarnis/tcADS7828.h"
#include "Tarnis/tcGpio.h"
#include "fpgacores/tcBadPixelReplacement.h"
#include "fpgacores/tcPixelShift.h"
#include "fpgacores/tcPwm.h"
#include "tcSPIDevice.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

using Rules = std::vector<std::string>;
namespace frame = sim::frame;

class HardwareRulesTest : public testsupport::HeadTest {
protected:
    // Sends register reg = value as a 5-byte frame; true when the chip latched it.
    bool sendFrame(uint8_t reg, uint8_t value) {
        tcSPIDevice spi("/dev/spidev1.0");
        const unsigned char bytes[5] = {static_cast<unsigned char>(0x80 | (reg >> 4)),
                                        static_cast<unsigned char>((reg & 0xF) << 4), 0, 0, value};
        spi.write(bytes, 5);
        const auto chip = head().chipRegisters();
        const auto found = chip.find(reg);
        return found != chip.end() && found->second == value;
    }
    void drive(const char* line, int level) {
        Tarnis::tcGpioSingle pin(static_cast<unsigned int>(head().gpioPin(line)));
        pin.SetDirection(1, level);
    }
    // The receiver enabled on a running sensor, through the plug-in's register accessor.
    void enableReceiver(tcRegisterWindow& rx) {
        powerSensorChip();
        rx.write(frame::laneInversion, head().config().laneInversion);
        rx.write(frame::control, 0x80000000);
        ASSERT_EQ(rx.read(frame::status) & 1u, 1u);
    }
};

TEST_F(HardwareRulesTest, SpiFrameBeforeThePortIsSetUpIsIgnored) {
    expectViolation("spi-port-unconfigured");
    bringSensorOutOfReset();
    EXPECT_FALSE(sendFrame(0x47, 1));
    EXPECT_EQ(violatedRules(), Rules{"spi-port-unconfigured"});
    tcSPIDevice port("/dev/spidev1.0");
    tsSPIConfiguration config = port.getConfiguration();
    config.mode = 0;
    config.lsbFirst = 0;
    config.bitsPerWord = 8;
    config.speedHz = 8000000; // faster than the chip takes
    ASSERT_TRUE(port.setConfiguration(config));
    EXPECT_FALSE(sendFrame(0x47, 2));
    config.speedHz = 4000000;
    ASSERT_TRUE(port.setConfiguration(config));
    EXPECT_TRUE(sendFrame(0x47, 3));
    EXPECT_EQ(violatedRules().size(), 2u);
}

TEST_F(HardwareRulesTest, SpiFrameWhileXresetIsLowIsIgnored) {
    expectViolation("spi-in-reset");
    powerSensorChip();
    drive("XRESET", 0);
    EXPECT_FALSE(sendFrame(0x3A, 1));
    EXPECT_EQ(violatedRules(), Rules{"spi-in-reset"});
}

TEST_F(HardwareRulesTest, SpiFrameNeedsTheMasterClockOnForTenMicroseconds) {
    expectViolation("spi-without-clock");
    powerSensorChip();
    drive("MCLK_ENABLE", 0);
    EXPECT_FALSE(sendFrame(0x3A, 1)); // clock off
    drive("MCLK_ENABLE", 1);
    sim::Clock::sleepFor(sim::Micros(9));
    EXPECT_FALSE(sendFrame(0x3A, 2)); // on for 9 us
    sim::Clock::sleepFor(sim::Micros(1));
    EXPECT_TRUE(sendFrame(0x3A, 3)); // on for 10 us
    EXPECT_EQ(violatedRules(), (Rules{"spi-without-clock", "spi-without-clock"}));
}

TEST_F(HardwareRulesTest, CodesTheSensorsSettersRefuseAreRefusedRaw) {
    // Catches the chip taking a gain, frame state or vertical mode code that the sensor's
    // own setters would refuse, or refusing a neighbour they accept.
    expectViolation("sensor-code-invalid");
    powerSensorChip();
    const auto gain = [](uint32_t code) { return code << 5; };
    const auto control = [](uint32_t state, uint32_t mode) {
        return (state << 18) | (mode << 15) | 0x7FFF;
    };
    for (uint32_t code : {0u, 8u, 14u})
        EXPECT_FALSE(testsupport::sendSensorFrame(0x7A, gain(code))) << code;
    for (uint32_t code : {3u, 7u, 12u, 13u, 15u})
        EXPECT_TRUE(testsupport::sendSensorFrame(0x7A, gain(code))) << code;
    for (uint32_t state : {2u, 5u, 6u, 7u})
        EXPECT_FALSE(testsupport::sendSensorFrame(0x03, control(state, 0))) << state;
    for (uint32_t mode : {6u, 7u})
        EXPECT_FALSE(testsupport::sendSensorFrame(0x03, control(0, mode))) << mode;
    for (uint32_t state : {0u, 1u, 3u, 4u})
        EXPECT_TRUE(testsupport::sendSensorFrame(0x03, control(state, 5))) << state;
    EXPECT_EQ(violatedRules(), Rules(3 + 4 + 2, "sensor-code-invalid"));
}

TEST_F(HardwareRulesTest, RowBandsOffTheBlocksOrOutsideTheSensorAreRefused) {
    // Catches the chip reading a band that does not start and end on 4-row blocks, leaves
    // sensor rows 32..9215, or ends before it starts.
    expectViolation("row-band-invalid");
    powerSensorChip();
    const auto band = [](uint32_t rowS, uint32_t rowE) { return rowS | (rowE << 14); };
    const std::pair<uint32_t, uint32_t> refused[] = {{31, 9215}, {32, 9214}, {33, 9300}, {28, 9215},
                                                     {32, 9219}, {100, 35},  {36, 35}};
    for (const auto& [rowS, rowE] : refused)
        EXPECT_FALSE(testsupport::sendSensorFrame(0x04, band(rowS, rowE))) << rowS << ".." << rowE;
    for (const auto& [rowS, rowE] :
         {std::pair<uint32_t, uint32_t>{32, 9215}, {32, 35}, {9212, 9215}})
        EXPECT_TRUE(testsupport::sendSensorFrame(0x04, band(rowS, rowE))) << rowS << ".." << rowE;
    EXPECT_EQ(violatedRules(), Rules(std::size(refused), "row-band-invalid"));
}

TEST_F(HardwareRulesTest, ResetPulseIsThreeHundredMillisecondsWithTheClockOff) {
    // Catches a release after too short a pulse going unnoticed, or the pulse counted from
    // the fall of XRESET while the clock still ran (only the stretch with it off counts).
    expectViolation("reset-pulse-short");
    drive("MCLK_ENABLE", 0);
    drive("XRESET", 1); // a pulse of 0 us: the line read low from power-on to now
    const sim::Micros first = sim::Clock::now();
    drive("XRESET", 0);
    sim::Clock::sleepFor(sim::Micros(299999));
    drive("XRESET", 1);
    drive("XRESET", 0);
    sim::Clock::sleepFor(sim::Micros(300000));
    drive("XRESET", 1); // full
    EXPECT_EQ(violatedRules(), Rules(2, "reset-pulse-short"));
    EXPECT_EQ(head().violations().front().time, first);
    // The plug-in's power-down leaves the clock on: the pulse starts when it goes off.
    drive("MCLK_ENABLE", 1);
    sim::Clock::sleepFor(sim::Micros(10));
    drive("XRESET", 0);
    sim::Clock::sleepFor(sim::Micros(100000));
    drive("MCLK_ENABLE", 0);
    sim::Clock::sleepFor(sim::Micros(299999));
    drive("XRESET", 1);
    EXPECT_EQ(violatedRules(), Rules(3, "reset-pulse-short"));
}

TEST_F(HardwareRulesTest, MasterClockIsHeldOffThroughReset) {
    // Catches the clock started while XRESET holds the sensor in reset, or a release with
    // it running, going unnoticed; each at its own instant.
    expectViolation("clock-during-reset");
    drive("MCLK_ENABLE", 0);
    drive("XRESET", 0);
    sim::Clock::sleepFor(sim::Micros(1000));
    drive("MCLK_ENABLE", 1);
    const sim::Micros started = sim::Clock::now();
    sim::Clock::sleepFor(sim::Micros(400000));
    drive("XRESET", 1);
    const sim::Micros released = sim::Clock::now();
    const auto breaches = head().violations();
    ASSERT_EQ(violatedRules(), Rules(2, "clock-during-reset"));
    EXPECT_EQ(breaches[0].time, started);
    EXPECT_EQ(breaches[1].time, released);
}

TEST_F(HardwareRulesTest, SpiFrameWaitsTenMillisecondsAfterAFullReset) {
    // Catches a frame latched before the sensor settled from its reset, or after a reset
    // it did not take (a pulse of 0 us, the clock running).
    expectViolation("spi-before-reset-settled");
    expectViolation("clock-during-reset");
    setUpSensorPort();
    drive("MCLK_ENABLE", 1);
    drive("XRESET", 1);
    sim::Clock::sleepFor(sim::Micros(20));
    EXPECT_FALSE(sendFrame(0x3A, 1));
    sim::Clock::sleepFor(sim::Micros(20000));
    EXPECT_FALSE(sendFrame(0x3A, 2)); // long after, but the reset never took
    const size_t before = head().violations().size();
    bringSensorOutOfReset();
    ASSERT_EQ(head().violations().size(), before);
    drive("XRESET", 0);
    drive("MCLK_ENABLE", 0);
    sim::Clock::sleepFor(sim::Micros(300000));
    drive("XRESET", 1);
    drive("MCLK_ENABLE", 1);
    sim::Clock::sleepFor(sim::Micros(9999));
    EXPECT_FALSE(sendFrame(0x3A, 3));
    sim::Clock::sleepFor(sim::Micros(1));
    EXPECT_TRUE(sendFrame(0x3A, 4));
    Rules settled;
    for (const std::string& rule : violatedRules())
        if (rule == "spi-before-reset-settled")
            settled.push_back(rule);
    EXPECT_EQ(settled.size(), 3u);
}

TEST_F(HardwareRulesTest, SensorRailsReadOnlyOnceXresetReleasedThemAndTheySettled) {
    // Catches rail readings that do not depend on the supplies being on: the sensor's own
    // rails are off in reset and come up over 10 ms; the input supplies are always there.
    Tarnis::tcADS7828 adc(1, 73, 2.5f);
    ASSERT_EQ(adc.SetPowerDown(false), 0);
    ASSERT_EQ(adc.SetInternalReference(true), 0);
    const auto read = [&adc](int channel) {
        float volts = -1.0f;
        EXPECT_EQ(adc.Volts(channel, volts, true), 0);
        return volts;
    };
    const auto& rails = head().config().railVolts;
    drive("MCLK_ENABLE", 0);
    drive("XRESET", 0);
    sim::Clock::sleepFor(sim::Micros(300000));
    for (int channel : {1, 2, 3, 5, 6})
        EXPECT_EQ(read(channel), 0.0f) << channel;
    for (int channel : {0, 4, 7})
        EXPECT_FLOAT_EQ(read(channel), rails[static_cast<size_t>(channel)]) << channel;
    drive("XRESET", 1);
    sim::Clock::sleepFor(sim::Micros(5000));
    EXPECT_FLOAT_EQ(read(3), rails[3] / 2); // half way up
    sim::Clock::sleepFor(sim::Micros(5000));
    for (int channel = 0; channel < 8; ++channel)
        EXPECT_FLOAT_EQ(read(channel), rails[static_cast<size_t>(channel)]) << channel;
}

TEST_F(HardwareRulesTest, AdcConvertsOnlyWokenWithItsReference) {
    expectViolation("adc-not-ready");
    Tarnis::tcADS7828 adc(1, 73, 2.5f);
    float volts = -1.0f;
    EXPECT_NE(adc.Volts(0, volts, true), 0);
    ASSERT_EQ(adc.SetPowerDown(false), 0);
    EXPECT_NE(adc.Volts(0, volts, true), 0); // no reference yet
    EXPECT_EQ(volts, -1.0f);
    ASSERT_EQ(adc.SetInternalReference(true), 0);
    EXPECT_EQ(adc.Volts(0, volts, true), 0);
    EXPECT_FLOAT_EQ(volts, 2.49f);
    EXPECT_EQ(violatedRules(), (Rules{"adc-not-ready", "adc-not-ready"}));
    EXPECT_EQ(head().adcReads().size(), 1u);
}

TEST_F(HardwareRulesTest, AdcAtAnotherBusOrAddressGivesNoReading) {
    expectViolation("adc-no-device");
    Tarnis::tcADS7828 wrongAddress(1, 72, 2.5f);
    Tarnis::tcADS7828 wrongBus(0, 73, 2.5f);
    for (Tarnis::tcADS7828* adc : {&wrongAddress, &wrongBus}) {
        EXPECT_NE(adc->SetPowerDown(false), 0);
        EXPECT_NE(adc->SetInternalReference(true), 0);
        float volts = -1.0f;
        EXPECT_NE(adc->Volts(0, volts, true), 0);
        EXPECT_EQ(volts, -1.0f);
    }
    EXPECT_EQ(violatedRules(), (Rules{"adc-no-device", "adc-no-device"}));
}

TEST_F(HardwareRulesTest, AdcScalesByTheReferenceItWasGiven) {
    // Catches a driver reference that changes nothing: the chip converts against 2.5 V.
    Tarnis::tcADS7828 adc(1, 73, 5.0f);
    ASSERT_EQ(adc.SetPowerDown(false), 0);
    ASSERT_EQ(adc.SetInternalReference(true), 0);
    float volts = 0;
    EXPECT_EQ(adc.Volts(7, volts, true), 0);
    EXPECT_FLOAT_EQ(volts, 5.0f);
}

TEST_F(HardwareRulesTest, GpioDrivenBeforeItIsAnOutputStaysUndriven) {
    expectViolation("gpio-not-output");
    Tarnis::tcGpioSingle reset(static_cast<unsigned int>(head().gpioPin("XRESET")));
    EXPECT_NE(reset.SetValue(1), 0);
    EXPECT_EQ(head().gpioLevel("XRESET"), -1);
    ASSERT_EQ(reset.SetDirection(1, 0), 0);
    sim::Clock::sleepFor(sim::Micros(300000)); // a full reset pulse before the release
    EXPECT_EQ(reset.SetValue(1), 0);
    EXPECT_EQ(head().gpioLevel("XRESET"), 1);
    ASSERT_EQ(reset.SetDirection(0, 0), 0); // an input again
    EXPECT_NE(reset.SetValue(0), 0);
    EXPECT_EQ(head().gpioLevel("XRESET"), 1);
    EXPECT_EQ(violatedRules(), (Rules{"gpio-not-output", "gpio-not-output"}));
}

TEST_F(HardwareRulesTest, PwmEnabledWithoutPeriodOrDuty) {
    expectViolation("pwm-not-programmed");
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    ASSERT_TRUE(pwm.initialized());
    pwm.enableCore(true); // neither
    pwm.enableCore(false);
    pwm.setPeriodTime(std::chrono::microseconds(1000));
    pwm.enableCore(true); // no duty
    pwm.enableCore(false);
    pwm.setDutyTime(std::chrono::microseconds(1));
    pwm.enableCore(true);
    EXPECT_EQ(violatedRules(), (Rules{"pwm-not-programmed", "pwm-not-programmed"}));
}

TEST_F(HardwareRulesTest, CoresUsedBeforeTheyReportThemselvesInitialised) {
    expectViolation("core-not-initialised");
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    tcPixelShift shift(0xFF217000);
    tcBadPixelReplacement badPixel(0xFF215000, 0xFF216000, 0xFF219000, 0x12000000,
                                   Vistrel::ROI(0, 0, 13280, 9184));
    pwm.setPeriodTime(std::chrono::microseconds(1000));
    shift.setShift(tcPixelShift::eeShiftLeft, 1);
    badPixel.setColor(true);
    EXPECT_EQ(violatedRules().size(), 3u);
    ASSERT_TRUE(pwm.initialized());
    ASSERT_TRUE(shift.initialized());
    ASSERT_TRUE(badPixel.initialize());
    pwm.setPeriodTime(std::chrono::microseconds(1000));
    shift.setShift(tcPixelShift::eeShiftLeft, 1);
    badPixel.setColor(false);
    EXPECT_EQ(violatedRules(), (Rules(3, "core-not-initialised")));
}

TEST_F(HardwareRulesTest, APulseGeneratorAndPixelShiftAreStoppedBeforeAnyQuery) {
    // Catches the rule firing for what a host calling stop() before initialise does: the
    // contract lets it disable the pulse generator and hold the pixel shift in reset.
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    tcPixelShift shift(0xFF217000);
    pwm.enableCore(false);
    shift.reset(true);
    EXPECT_TRUE(violatedRules().empty());
    EXPECT_EQ(head().pixelShift().resetLog, std::vector<bool>{true});
}

TEST_F(HardwareRulesTest, WithoutTheMemoryDeviceNoCoreComesUp) {
    // Catches library cores that stay up although they map the same memory device.
    sim::HeadConfig config;
    config.memoryAbsent = true;
    resetHead(config);
    EXPECT_FALSE(tcPwm(0xFF211000, 45.0, "/dev/uio1").initialized());
    EXPECT_FALSE(tcPixelShift(0xFF217000).initialized());
    EXPECT_FALSE(tcBadPixelReplacement(0xFF215000, 0xFF216000, 0xFF219000, 0x12000000,
                                       Vistrel::ROI(0, 0, 13280, 9184))
                     .initialize());
}

TEST_F(HardwareRulesTest, PulsesIntoACaptureNeedAnAlignedReceiver) {
    expectViolation("pulses-unaligned");
    powerSensorChip();
    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    ASSERT_TRUE(pwm.initialized());
    pwm.setPeriodTime(std::chrono::microseconds(1000));
    pwm.setDutyTime(std::chrono::microseconds(1));
    pwm.enableCore(true);
    sim::Clock::sleepFor(sim::Micros(5000)); // frame state 0: pulses are harmless
    EXPECT_TRUE(violatedRules().empty());
    ASSERT_TRUE(sendFrame(0x03, 0)); // frame state 0 written
    tcSPIDevice spi("/dev/spidev1.0");
    const unsigned char capture[5] = {0x80, 0x30, 0x04, 0x00, 0x00}; // frame state 1
    spi.write(capture, 5);
    const sim::Micros captureFrom = sim::Clock::now();
    sim::Clock::sleepFor(sim::Micros(5000));
    sim::Clock::sleepFor(sim::Micros(5000)); // one entry per stretch, not per pulse
    EXPECT_EQ(violatedRules(), Rules{"pulses-unaligned"});
    // Logged at the first pulse into the capture, not when the model caught up with it.
    const sim::Micros loggedAt = head().violations().front().time;
    EXPECT_GT(loggedAt, captureFrom);
    EXPECT_LE(loggedAt, captureFrom + sim::Micros(1000));
}

TEST_F(HardwareRulesTest, ReadOnlyReceiverRegistersKeepTheirValue) {
    expectViolation("read-only-register");
    tcRegisterWindow rx(frame::base, 64);
    for (uint32_t offset :
         {frame::status, frame::dpaLock, frame::coreId, frame::coreRev, frame::coreCaps}) {
        const uint32_t before = rx.read(offset);
        rx.write(offset, 0x5A5A5A5A);
        EXPECT_EQ(rx.read(offset), before) << std::hex << offset;
    }
    EXPECT_EQ(violatedRules(), Rules(5, "read-only-register"));
    rx.write(frame::laneInversion, 0x5A5A5A5A); // read/write: taken
    EXPECT_EQ(rx.read(frame::laneInversion), 0x5A5A5A5Au);
}

TEST_F(HardwareRulesTest, BadPixelMapFileThatCannotBeOpened) {
    expectViolation("bad-pixel-map-unreadable");
    tcBadPixelReplacement core(0xFF215000, 0xFF216000, 0xFF219000, 0x12000000,
                               Vistrel::ROI(0, 0, 13280, 9184));
    ASSERT_TRUE(core.initialize());
    writeFile("map.txt", "1 2\n");
    core.setData("map.txt");
    testing::internal::CaptureStderr();
    core.setData("missing.txt");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "tcBadPixelReplacement::setData: missing.txt: No such file or directory\n");
    EXPECT_EQ(head().badPixel().data, "map.txt"); // the map in use stays
    core.setData(core.defaultData());             // built into the core
    core.setData("");
    EXPECT_EQ(violatedRules(), Rules{"bad-pixel-map-unreadable"});
}

TEST_F(HardwareRulesTest, DpaResetReleasedOutOfOrderTrainsNoLane) {
    expectViolation("dpa-training-order");
    tcRegisterWindow rx(frame::base, 64);
    // Released before the core is enabled and locked.
    rx.write(frame::dpaReset, 0x0FFFFFFF);
    rx.write(frame::dpaFifoReset, 0x0FFFFFFF);
    rx.write(frame::dpaReset, 0);
    enableReceiver(rx);
    EXPECT_EQ(rx.read(frame::dpaLock) & 0x0FFFFFFF, 0u);
    // Released with the phases still held (held before lock, too), then with the FIFOs
    // running (released before lock, too).
    rx.write(frame::dpaHold, 0x0FFFFFFF);
    rx.write(frame::dpaReset, 0x0FFFFFFF);
    rx.write(frame::dpaReset, 0);
    rx.write(frame::dpaHold, 0);
    rx.write(frame::dpaFifoReset, 0);
    rx.write(frame::dpaReset, 0x0FFFFFFF);
    rx.write(frame::dpaReset, 0);
    EXPECT_EQ(rx.read(frame::dpaLock) & 0x0FFFFFFF, 0u);
    EXPECT_EQ(violatedRules(), Rules(5, "dpa-training-order"));
}

TEST_F(HardwareRulesTest, DpaHoldAndFifoReleaseBeforeLockAreBreaches) {
    expectViolation("dpa-training-order");
    sim::HeadConfig config;
    config.dpaLockPolls = 3; // lanes lock over 30 ms
    resetHead(config);
    tcRegisterWindow rx(frame::base, 64);
    enableReceiver(rx);
    rx.write(frame::dpaReset, 0x0FFFFFFF);
    rx.write(frame::dpaFifoReset, 0x0FFFFFFF);
    rx.write(frame::dpaReset, 0);
    EXPECT_TRUE(violatedRules().empty());
    rx.write(frame::dpaFifoReset, 0); // no lane locked yet
    rx.write(frame::dpaHold, 0x0FFFFFFF);
    sim::Clock::sleepFor(sim::Micros(30000));
    EXPECT_EQ(rx.read(frame::dpaLock) & 0x0FFFFFFF, 0x0FFFFFFFu);
    EXPECT_EQ(violatedRules(), Rules(2, "dpa-training-order"));
}

TEST_F(HardwareRulesTest, RegisterAccessOutsideTheMemoryDeviceIsRefused) {
    // On the board an access where nothing is mapped faults; the head must not answer it.
    expectViolation("register-access-unmapped");
    const platform::RegisterAccess hooks = platform::registerAccess();
    ASSERT_NE(hooks.read, nullptr);
    volatile uint32_t notARegister = 0x5A5A5A5A;
    EXPECT_EQ(hooks.read(&notARegister), 0u);
    hooks.write(&notARegister, 1);
    EXPECT_EQ(notARegister, 0x5A5A5A5Au);
    EXPECT_EQ(violatedRules(), Rules(2, "register-access-unmapped"));
}

TEST_F(HardwareRulesTest, TriggerEdgeOnAnotherIoPinLeavesTheTriggerInputAsItWas) {
    expectViolation("trigger-edge-wrong-pin");
    Tarnis::tcGpio gpio;
    gpio.SetEdge(0, 0, 1);
    EXPECT_TRUE(violatedRules().empty());
    sim::Clock::sleepFor(sim::Micros(7));
    const sim::Micros at = sim::Clock::now();
    gpio.SetEdge(1, 0, 0);
    EXPECT_EQ(violatedRules(), Rules{"trigger-edge-wrong-pin"});
    EXPECT_EQ(head().violations().front().time, at);
    EXPECT_EQ(head().triggerEdge(), 1);
}

} // namespace
