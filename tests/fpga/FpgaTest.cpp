// The FPGA object: windows and cores it builds, its health mask, identity and dump.
#include "FpgaTestHelpers.h"
#include "fpga/tc120MXSFpga.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <iostream>
#include <memory>

using fpgatest::added;
using fpgatest::kPllBase;
using fpgatest::kSysIdBase;
using fpgatest::splitLines;

namespace {

class FpgaTest : public testsupport::HeadTest {
protected:
    int initializeWith(const std::function<void(sim::HeadConfig&)>& change) {
        sim::HeadConfig config;
        change(config);
        resetHead(config);
        tc120MXSFpga fpga("fpga_addresses.ini");
        return fpga.initialize();
    }
};

// Catches a healthy FPGA reported as faulty, or the bad-pixel start-up run twice or never.
TEST_F(FpgaTest, HealthyFpgaInitializesToZero) {
    tc120MXSFpga fpga("fpga_addresses.ini"); // the file does not exist and is not needed
    EXPECT_EQ(fpga.initialize(), 0);
    EXPECT_EQ(head().badPixel().initializeCalls, 1);
    EXPECT_FLOAT_EQ(fpga.getClockMhz(), 45.0f);
}

// Catches a failing core reported under another bit, or not at all.
TEST_F(FpgaTest, EachFailingCoreSetsItsOwnBit) {
    EXPECT_EQ(initializeWith([](sim::HeadConfig& c) { c.pwmDown = true; }), 0x04);
    EXPECT_EQ(initializeWith([](sim::HeadConfig& c) { c.pixelShiftDown = true; }), 0x08);
    EXPECT_EQ(initializeWith([](sim::HeadConfig& c) { c.badPixelDown = true; }), 0x10);
    EXPECT_EQ(initializeWith(
                  [](sim::HeadConfig& c) { c.pwmDown = c.pixelShiftDown = c.badPixelDown = true; }),
              0x1C);
}

// Catches a construction that gives up (or throws) without the memory device, and an
// initialize() that stops querying after the first failure.
TEST_F(FpgaTest, AbsentMemoryDeviceSetsBitsZeroAndOneAndStillQueriesEveryCore) {
    sim::HeadConfig config;
    config.memoryAbsent = true;
    resetHead(config);
    testing::internal::CaptureStderr();
    auto fpga = std::make_unique<tc120MXSFpga>("fpga_addresses.ini");
    const std::string errors = testing::internal::GetCapturedStderr();
    const auto lines = splitLines(errors);
    EXPECT_GE(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.rfind("/dev/mem: ", 0) == 0; }),
              3)
        << errors;
    const int result = fpga->initialize();
    EXPECT_EQ(result & 0x03, 0x03);
    EXPECT_EQ(head().badPixel().initializeCalls, 1);

    EXPECT_EQ(fpga->getSysId(), "0.0");
    testing::internal::CaptureStdout();
    fpga->dumpRegisters();
    const auto out = splitLines(testing::internal::GetCapturedStdout());
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out[0], "Fpga sys id: 0.0");
    EXPECT_EQ(out[1], "Pll 0xC0 = 0x0");
    EXPECT_EQ(out[2], "FPGA register dump");
    fpga.reset(); // destruction with nothing mapped must not fault
}

// Catches a wrong identity format (0x prefix, leading zeros, uppercase, word order).
TEST_F(FpgaTest, SysIdIsBothWordsInPlainLowercaseHex) {
    const std::vector<std::pair<std::array<uint32_t, 2>, std::string>> cases{
        {{0x00001234, 0x5E6F7A8B}, "1234.5e6f7a8b"},
        {{0x00000000, 0x00000000}, "0.0"},
        {{0xFFFFFFFF, 0x00000001}, "ffffffff.1"},
    };
    for (const auto& [words, text] : cases) {
        sim::HeadConfig config;
        config.sysId = words;
        resetHead(config);
        tc120MXSFpga fpga("fpga_addresses.ini");
        EXPECT_EQ(fpga.getSysId(), text);
    }
}

// Catches a missing reset of either pipeline core, or a false result that would abort
// the start of capture.
TEST_F(FpgaTest, ResetPipelineResetsBothCoresAndAnswersTrue) {
    tc120MXSFpga fpga("fpga_addresses.ini");
    ASSERT_EQ(fpga.initialize(), 0); // the cores are used once they reported ready
    EXPECT_TRUE(fpga.resetPipeline(true));
    EXPECT_TRUE(head().pixelShift().reset);
    EXPECT_TRUE(head().badPixel().reset);
    EXPECT_TRUE(fpga.resetPipeline(false));
    EXPECT_FALSE(head().pixelShift().reset);
    EXPECT_FALSE(head().badPixel().reset);
    EXPECT_EQ(head().pixelShift().resetLog, (std::vector<bool>{true, false}));
}

// Catches the PLL word read from the wrong offset, a dump in the wrong order, the stream
// left in hexadecimal after the dump, or the bad-pixel core built at a wrong address.
TEST_F(FpgaTest, DumpStartsWithIdentityAndPllAndLeavesTheStreamDecimal) {
    sim::HeadConfig config;
    config.pllWord = 0x0000ABCD;
    resetHead(config);
    tc120MXSFpga fpga("fpga_addresses.ini");
    EXPECT_EQ(head().physicalWord(kPllBase + 0x300), 0x0000ABCDu);
    testing::internal::CaptureStdout();
    fpga.dumpRegisters();
    std::cout << 255 << std::endl;
    const auto out = splitLines(testing::internal::GetCapturedStdout());
    ASSERT_GE(out.size(), 21u);
    EXPECT_EQ(out[0], "Fpga sys id: 1234.5e6f7a8b");
    EXPECT_EQ(out[1], "Pll 0xC0 = 0xabcd");
    EXPECT_EQ(out[2], "FPGA register dump");
    EXPECT_EQ(out[19], "Bias Subtract:\t0x0");
    EXPECT_EQ(out.back(), "255");
    // The bad-pixel core's dump names the four addresses it was built with.
    EXPECT_NE(std::find(out.begin(), out.end(),
                        "BPR control 0xff215000 map 0xff216000 dma 0xff219000 memory 0x12000000"),
              out.end());
}

// Catches leaked or partly unmapped windows: the three windows are mapped at their
// physical addresses and all of them are gone after destruction.
TEST_F(FpgaTest, DestructionUnmapsEveryWindow) {
    const auto before = head().memoryMappings();
    auto fpga = std::make_unique<tc120MXSFpga>("fpga_addresses.ini");
    const auto during = added(before, head().memoryMappings());
    for (uint64_t base : {uint64_t{kSysIdBase}, uint64_t{kPllBase}, uint64_t{0xFF212000}}) {
        EXPECT_TRUE(
            std::any_of(during.begin(), during.end(),
                        [base](const sim::MemoryMapping& m) { return m.fileOffset == base; }))
            << std::hex << base;
    }
    fpga.reset();
    EXPECT_TRUE(added(before, head().memoryMappings()).empty());
}

} // namespace
