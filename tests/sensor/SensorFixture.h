#pragma once
// A 120MXS on a fresh simulated head, with helpers to look at what reached the chip.
#include "sensor/tc120MXS.h"
#include "support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sensortest {

// The matchers and output captures the sensor suites share; a suite takes them all with
// "using namespace sensortest".
using std::chrono::microseconds;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

constexpr const char* kSpiPath = "/dev/spidev1.0";

class SensorTest : public testsupport::HeadTest {
protected:
    void SetUp() override {
        testsupport::HeadTest::SetUp();
        sensor = std::make_unique<tc120MXS>(kSpiPath);
        // The chip ignores frames until it runs; tests of its power-up start it themselves.
        if (chipRunsAtStart)
            powerSensorChip();
    }
    void TearDown() override {
        sensor.reset();
        testsupport::HeadTest::TearDown();
    }

    // Value the chip holds in reg (as received over SPI); 0 when never written.
    uint32_t chip(uint16_t reg) {
        const auto registers = head().chipRegisters();
        const auto entry = registers.find(reg);
        return entry == registers.end() ? 0 : entry->second;
    }
    uint32_t chipField(uint16_t reg, uint32_t mask, unsigned shift) {
        return (chip(reg) >> shift) & mask;
    }
    bool chipHas(uint16_t reg) { return head().chipRegisters().count(reg) != 0; }
    // The chip's test-pattern registers hold the normal image.
    void expectNormalImage() {
        EXPECT_EQ(chip(0x3A), 0x0A40A0u);
        EXPECT_EQ(chip(0x47), 0u);
        EXPECT_EQ(chip(0x55), 0x18315Fu);
        EXPECT_EQ(chip(0x56), 0x07F012u);
        EXPECT_EQ(chip(0x5C), 0x182160u);
        EXPECT_EQ(chip(0x5D), 0x07E013u);
    }

    std::vector<sim::SpiFrame> frames() { return head().spiFrames(); }
    // Frames sent after the first `from` ones.
    std::vector<sim::SpiFrame> framesFrom(size_t from) {
        const auto all = frames();
        return std::vector<sim::SpiFrame>(all.begin() + std::min(from, all.size()), all.end());
    }

    // Registers the chip received, in order, among frames.
    static std::vector<uint16_t> registersOf(const std::vector<sim::SpiFrame>& frames) {
        std::vector<uint16_t> regs;
        for (const auto& frame : frames)
            regs.push_back(frame.reg);
        return regs;
    }

    // Shadow value of reg, or -1 when it has no entry.
    int64_t shadow(unsigned short reg) {
        unsigned int value = 0;
        return sensor->readShadowRegister(reg, value) == 0 ? static_cast<int64_t>(value) : -1;
    }

    std::unique_ptr<tc120MXS> sensor;
    bool chipRunsAtStart = true;
};

// The usable timing set-up of the worked examples: 1000 clocks per line at 45 MHz and the
// full frame's readout rows 32..9215.
inline void setFullFrameTiming(tc120MXS& sensor, unsigned short clocks = 1000) {
    sensor.writeRegister(0x00, (clocks - 1u) << 10);
    sensor.writeRegister(0x03, 0);
    sensor.writeRegister(0x04, 0x8FFC020);
    sensor.setMClockMhz(45.0f);
}

} // namespace sensortest
