// Frame-receiver register access: masks, record packing, identification and the dump.
#include "FpgaTestHelpers.h"
#include "fpga/tcCanon120FrameCtrl.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <iostream>

namespace frame = sim::frame;
using fpgatest::splitLines;

namespace {

class FrameCtrlRegistersTest : public testsupport::HeadTest {
protected:
    uint32_t reg(uint32_t offset) { return head().frameRegister(offset); }
    void poke(uint32_t offset, uint32_t value) {
        head().setPhysicalWord(frame::base + offset, value);
    }
    // Brings the core up as the board does: lanes inverted as wired, then enabled.
    int quietEnable(tcCanon120FrameCtrl& core) {
        core.setLaneInversion(head().config().laneInversion);
        testing::internal::CaptureStdout();
        const int result = core.enableCore(true);
        testing::internal::GetCapturedStdout();
        return result;
    }
};

// Catches lane masks written with the top nibble (bits the core does not define) or
// read back masked where the whole word is meant.
TEST_F(FrameCtrlRegistersTest, LaneMasksDropBits31To28OnlyWhereTheyShould) {
    tcCanon120FrameCtrl core(frame::base);
    ASSERT_TRUE(core.initialized());
    // The lock word belongs to the receiver: bring every lane to lock, then read it.
    powerSensorChip();
    ASSERT_EQ(quietEnable(core), 0);
    ASSERT_EQ(reg(frame::dpaLock), 0xFFFFFFFFu); // bits 31..28 are no lanes of the sensor's
    EXPECT_EQ(core.readDPALock(), 0x0FFFFFFFu);

    // Each mask: written with the top nibble dropped; read back from a poked word, masked
    // or whole as the core defines it.
    using Core = tcCanon120FrameCtrl;
    struct Mask {
        const char* name;
        void (Core::*set)(unsigned);
        unsigned (Core::*read)();
        uint32_t offset, poked, readBack;
    };
    for (const Mask& m : {Mask{"laneInversion", &Core::setLaneInversion, &Core::readLaneInversion,
                               frame::laneInversion, 0xF0000001, 0xF0000001u},
                          Mask{"dpaReset", &Core::setDPAReset, &Core::readDPAReset, frame::dpaReset,
                               0xF0000003, 0x3u},
                          Mask{"dpaFifoReset", &Core::setDPAFifoReset, &Core::readDPAFifoReset,
                               frame::dpaFifoReset, 0xF0000006, 0x6u},
                          Mask{"dpaHold", &Core::setDPAHold, &Core::readDPAHold, frame::dpaHold,
                               0xF0000007, 0xF0000007u}}) {
        SCOPED_TRACE(m.name);
        (core.*m.set)(0xFFFFFFFF);
        EXPECT_EQ(reg(m.offset), 0x0FFFFFFFu);
        poke(m.offset, m.poked);
        EXPECT_EQ((core.*m.read)(), m.readBack);
    }
}

// Catches swapped halves or fields in the two-field records.
TEST_F(FrameCtrlRegistersTest, RecordsPackFirstFieldIntoTheHighHalf) {
    tcCanon120FrameCtrl core(frame::base);
    core.setRoiResCntConfig({9184, 13280});
    EXPECT_EQ(reg(frame::roiResolution), 0x23E033E0u);
    const auto resolution = core.readRoiResCntConfig();
    EXPECT_EQ(resolution.height, 9184);
    EXPECT_EQ(resolution.width, 13280);

    core.setRoiConfig({8, 16});
    EXPECT_EQ(reg(frame::roiStart), 0x00080010u);
    const auto roi = core.readRoiConfig();
    EXPECT_EQ(roi.y, 8);
    EXPECT_EQ(roi.x, 16);

    core.setBlankOffsetConfig({33, 0xFFFF});
    EXPECT_EQ(reg(frame::blankOffset), 0x0021FFFFu);
    const auto blank = core.readBlankOffsetConfig();
    EXPECT_EQ(blank.vertical, 33);
    EXPECT_EQ(blank.horizontal, 0xFFFF);
}

// Catches whole-word registers masked or written to the wrong offset.
TEST_F(FrameCtrlRegistersTest, WholeWordRegistersPassThroughRaw) {
    tcCanon120FrameCtrl core(frame::base);
    core.clearIrqFlags(0xF000000F);
    EXPECT_EQ(reg(frame::irqFlags), 0xF000000Fu);
    core.setIrqMask(0x80000001);
    EXPECT_EQ(reg(frame::irqMask), 0x80000001u);
    EXPECT_EQ(core.readIrqMask(), 0x80000001u);
    core.clearWriteFaults(0xFFFFFFFF);
    EXPECT_EQ(reg(frame::writeFaults), 0xFFFFFFFFu);
    core.setIndexSync(0xDEADBEEF);
    EXPECT_EQ(reg(frame::indexSync), 0xDEADBEEFu);
    core.setFrameTimestamp(0x12345678);
    EXPECT_EQ(reg(frame::frameTimestamp), 0x12345678u);
    core.setBiasSubtract(0x80000190);
    EXPECT_EQ(reg(frame::biasSubtract), 0x80000190u);
    EXPECT_EQ(core.readBiasSubtract(), 0x80000190u);

    poke(frame::irqFlags, 0x00000022);
    EXPECT_EQ(core.readIrqFlags(), 0x22u);
    poke(frame::writeFaults, 0x00000101);
    EXPECT_EQ(core.readWriteFaults(), 0x101u);
}

// Catches identification registers out of reach (they lie past the 64 mapped words).
TEST_F(FrameCtrlRegistersTest, IdentificationIsReadFromBeyondTheControlWords) {
    sim::HeadConfig config;
    config.coreId = 0xA1B2C3D4;
    config.coreRev = 0x00020003;
    config.coreCaps = 0x80000000;
    resetHead(config);
    tcCanon120FrameCtrl core(frame::base);
    EXPECT_EQ(core.readCoreId(), 0xA1B2C3D4u);
    EXPECT_EQ(core.readCoreRev(), 0x00020003u);
    EXPECT_EQ(core.readCoreCaps(), 0x80000000u);
}

// Catches a disable that clobbers the control register's other bits, or prints.
TEST_F(FrameCtrlRegistersTest, DisableClearsOnlyTheEnableBitSilently) {
    tcCanon120FrameCtrl core(frame::base);
    poke(frame::control, 0x80000005);
    EXPECT_TRUE(core.readCoreEnabled());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(core.enableCore(false), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(reg(frame::control), 0x00000005u);
    EXPECT_FALSE(core.readCoreEnabled());
}

// Catches status bits swapped between aligned and locked.
// The receiver owns its status: locked alone once enabled on a running sensor, aligned too
// once trained.
TEST_F(FrameCtrlRegistersTest, StatusSeparatesAlignedAndLocked) {
    tcCanon120FrameCtrl core(frame::base);
    powerSensorChip();
    poke(frame::control, 0x80000000);
    auto status = core.readStatus();
    EXPECT_TRUE(status.locked);
    EXPECT_FALSE(status.aligned);
    ASSERT_EQ(quietEnable(core), 0);
    status = core.readStatus();
    EXPECT_TRUE(status.locked);
    EXPECT_TRUE(status.aligned);
}

// Catches a wrong dump layout, a field dumped from the wrong register, or the stream
// left in hexadecimal for whoever prints next.
TEST_F(FrameCtrlRegistersTest, DumpPrintsEighteenLinesAndLeavesTheStreamDecimal) {
    resetHeadWith([](sim::HeadConfig& c) { c.laneInversion = 0x0ABCDEF0; }); // as set below
    tcCanon120FrameCtrl core(frame::base);
    powerSensorChip();
    ASSERT_EQ(quietEnable(core), 0);
    poke(frame::control, 0x80000000);
    core.setLaneInversion(0x0ABCDEF0);
    core.clearIrqFlags(0x11);
    core.setIrqMask(0x0);
    core.setRoiResCntConfig({9184, 13280});
    core.setBlankOffsetConfig({33, 48});
    core.setRoiConfig({8, 16});
    poke(frame::dpaReset, 0xF0000001);
    poke(frame::dpaFifoReset, 0xF0000002);
    poke(frame::dpaHold, 0xF0000003); // lane 0 back in reset: unlocked, nothing aligned
    core.clearWriteFaults(0x7);
    core.setBiasSubtract(0x80000190);

    testing::internal::CaptureStdout();
    core.dumpRegisters();
    std::cout << 255 << std::endl;
    const auto lines = splitLines(testing::internal::GetCapturedStdout());
    const std::vector<std::string> expected{
        "FPGA register dump",
        "Core enabled:\t1",
        "Core ID:\t0x120ca11",
        "Core Rev:\t0x10002",
        "Core Caps:\t0x1c",
        "Status: Aligned 0 Locked 1",
        "Lane Inversion:\t0xabcdef0",
        "Irq Flags:\t0x11",
        "Irq Mask:\t0x0",
        "Roi Res Cnt Cfg:\tH: 9184 W: 13280",
        "Blank Cfg:\tV: 33 H: 48",
        "ROI Cfg:\tx: 16 y: 8",
        "DPA Reset:\t0x1",
        "DPA Fifo Reset:\t0x2",
        "DPA Hold:\t0xf0000003",
        "DPA Lock:\t0xffffffe",
        "Write Faults:\t0x7",
        "Bias Subtract:\t0x80000190",
        "255",
    };
    EXPECT_EQ(lines, expected);
}

// Catches accessors that dereference a window that never mapped.
TEST_F(FrameCtrlRegistersTest, UnmappedCoreReadsZeroAndIgnoresWrites) {
    resetHeadWith([](sim::HeadConfig& c) { c.memoryAbsent = true; });
    testing::internal::CaptureStderr();
    tcCanon120FrameCtrl core(frame::base);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("/dev/mem: ", 0), 0u);
    EXPECT_FALSE(core.initialized());
    core.setLaneInversion(0xFFFFFFFF);
    core.setRoiResCntConfig({9184, 13280});
    core.setBiasSubtract(0x80000190);
    EXPECT_EQ(core.readLaneInversion(), 0u);
    EXPECT_EQ(core.readBiasSubtract(), 0u);
    EXPECT_EQ(core.readCoreId(), 0u);
    EXPECT_EQ(core.readRoiResCntConfig().height, 0);
    EXPECT_FALSE(core.readCoreEnabled());
    EXPECT_EQ(core.enableCore(false), 0);

    testing::internal::CaptureStdout();
    core.dumpRegisters();
    const auto lines = splitLines(testing::internal::GetCapturedStdout());
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[2], "Core ID:\t0x0");
    EXPECT_EQ(lines[9], "Roi Res Cnt Cfg:\tH: 0 W: 0");
}

} // namespace
