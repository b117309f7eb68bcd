#include "support/TestSupport.h"

#include "tcSPIDevice.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

class SpiDeviceTest : public testsupport::HeadTest {};

TEST_F(SpiDeviceTest, DecodesWellFormedFramesIntoChipRegisters) {
    // Catches a decoder that mixes up the register/value split of the 5-byte frame.
    powerSensorChip();
    tcSPIDevice spi("/dev/spidev0.0");
    const unsigned char frame[5] = {0x87, 0xA0, 0x00, 0x01, 0xE0};
    EXPECT_EQ(spi.write(frame, 5), 5);
    const unsigned char highest[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    spi.write(highest, 5);

    const auto frames = head().spiFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_TRUE(frames[0].wellFormed);
    EXPECT_EQ(frames[0].reg, 0x7A);
    EXPECT_EQ(frames[0].value, 0x1E0u);
    EXPECT_EQ(frames[1].reg, 0x7FF);
    EXPECT_EQ(frames[1].value, 0x0FFFFFFFu);
    const auto chip = head().chipRegisters();
    EXPECT_EQ(chip.at(0x7A), 0x1E0u);
    EXPECT_EQ(chip.at(0x7FF), 0x0FFFFFFFu);
}

TEST_F(SpiDeviceTest, FlagsMalformedFramesAndKeepsThemOffTheChip) {
    // Catches a chip model that latches frames without the marker bit or of the wrong length,
    // or drops them without a word.
    expectViolation("spi-malformed-frame");
    powerSensorChip();
    tcSPIDevice spi("/dev/spidev0.0");
    const unsigned char noMarker[5] = {0x07, 0xA0, 0x00, 0x01, 0xE0};
    const unsigned char tooShort[4] = {0x87, 0xA0, 0x00, 0x01};
    const unsigned char tooLong[6] = {0x87, 0xA0, 0x00, 0x01, 0xE0, 0x00};
    EXPECT_EQ(spi.write(noMarker, 5), 5);
    sim::Clock::sleepFor(sim::Micros(3));
    EXPECT_EQ(spi.write(tooShort, 4), 4);
    sim::Clock::sleepFor(sim::Micros(3));
    EXPECT_EQ(spi.write(tooLong, 6), 6);

    const auto frames = head().spiFrames();
    ASSERT_EQ(frames.size(), 3u);
    for (const auto& frame : frames)
        EXPECT_FALSE(frame.wellFormed);
    EXPECT_EQ(frames[1].bytes.size(), 4u);
    EXPECT_TRUE(head().chipRegisters().empty());
    EXPECT_EQ(violatedRules(), std::vector<std::string>(3, "spi-malformed-frame"));
    const auto violations = head().violations();
    for (size_t i = 0; i < violations.size(); ++i)
        EXPECT_EQ(violations[i].time, frames[i].time) << i; // logged at its write
}

TEST_F(SpiDeviceTest, ClosedDeviceSendsNothing) {
    // Catches a closed port that still reports the bytes as sent.
    resetHead([] {
        sim::HeadConfig config;
        config.spiClosed = true;
        return config;
    }());
    tcSPIDevice spi("/dev/spidev0.0");
    EXPECT_FALSE(spi.isOpen());
    const unsigned char frame[5] = {0x84, 0x70, 0x00, 0x00, 0x01};
    EXPECT_EQ(spi.write(frame, 5), -1);
    EXPECT_TRUE(head().spiFrames().empty());
}

TEST_F(SpiDeviceTest, ConfigurationStartsUnusableAndIsRecordedWhenAccepted) {
    // Catches a port whose power-on configuration would hide a driver that forgets a field.
    tcSPIDevice spi("/dev/spidev0.0");
    tsSPIConfiguration config = spi.getConfiguration();
    EXPECT_NE(config.mode, 0);
    EXPECT_NE(config.lsbFirst, 0);
    EXPECT_NE(config.bitsPerWord, 8);
    EXPECT_NE(config.speedHz, 4000000u);
    EXPECT_FALSE(head().lastSpiConfiguration().has_value());

    config.mode = 0;
    config.bitsPerWord = 8;
    ASSERT_TRUE(spi.setConfiguration(config));
    const auto seen = head().lastSpiConfiguration();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ(seen->mode, 0);
    EXPECT_EQ(seen->lsbFirst, 1); // left as read: the forgotten field shows
    EXPECT_EQ(seen->bitsPerWord, 8);
    EXPECT_EQ(spi.getConfiguration().speedHz, config.speedHz);

    head().configure([](sim::HeadConfig& c) { c.spiRefuseConfig = true; });
    tsSPIConfiguration other = config;
    other.speedHz = 4000000;
    EXPECT_FALSE(spi.setConfiguration(other));
    EXPECT_EQ(head().lastSpiConfiguration()->speedHz, config.speedHz);
}

TEST_F(SpiDeviceTest, TracesFrameStateChangesOfRegister3) {
    // Catches a frame-state trace taken from the wrong bits or repeated without a change.
    powerSensorChip();
    tcSPIDevice spi("/dev/spidev0.0");
    auto send = [&](uint32_t value) {
        const unsigned char frame[5] = {0x80, static_cast<unsigned char>(0x30 | (value >> 24)),
                                        static_cast<unsigned char>(value >> 16),
                                        static_cast<unsigned char>(value >> 8),
                                        static_cast<unsigned char>(value)};
        spi.write(frame, 5);
    };
    send(4u << 18);
    send((4u << 18) | 0x12); // same state, other bits
    send(1u << 18);
    std::vector<uint64_t> states;
    for (const auto& event : head().trace())
        if (event.signal == "sensor.frameState")
            states.push_back(event.value);
    EXPECT_EQ(states, (std::vector<uint64_t>{4, 1}));
    const auto trace = head().trace();
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                            [](const sim::TraceEvent& e) { return e.signal == "spi.strobe"; }),
              6);
}

} // namespace
