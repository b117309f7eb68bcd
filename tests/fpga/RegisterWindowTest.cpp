// Register windows over the simulated physical memory: mapping, offsets, bounds, failures.
#include "FpgaTestHelpers.h"
#include "fpga/tcRegisterWindow.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

using fpgatest::added;
using fpgatest::kPllBase;
using fpgatest::kSysIdBase;

namespace {

class RegisterWindowTest : public testsupport::HeadTest {};

// Catches a window that misses the bus: writes must land at base + offset in physical
// memory and reads must return what the hardware holds, also above 2 GiB on 32-bit ARM.
TEST_F(RegisterWindowTest, ReadsAndWritesReachPhysicalMemoryAtTheBase) {
    tcRegisterWindow window(kPllBase, 512);
    ASSERT_TRUE(window.isValid());
    window.write(0x300, 0xCAFE0001);
    window.write(0x7FC, 0x12345678);
    EXPECT_EQ(head().physicalWord(kPllBase + 0x300), 0xCAFE0001u);
    EXPECT_EQ(head().physicalWord(kPllBase + 0x7FC), 0x12345678u);

    head().setPhysicalWord(kPllBase + 0x10, 0xA5A5A5A5);
    EXPECT_EQ(window.read(0x10), 0xA5A5A5A5u);
    EXPECT_EQ(window.baseAddress(), kPllBase);
    EXPECT_EQ(window.wordCount(), 512u);
}

// Catches a wrong page offset: a base inside a page must map the page below it and
// address its first register at base, not at the page start.
TEST_F(RegisterWindowTest, UnalignedBaseIsReachedThroughItsPageOffset) {
    const uint32_t base = kSysIdBase + 0x10;
    head().setPhysicalWord(kSysIdBase, 0x11111111);
    head().setPhysicalWord(base, 0x22222222);
    const auto before = head().memoryMappings();
    tcRegisterWindow window(base, 4);
    ASSERT_TRUE(window.isValid());
    EXPECT_EQ(window.read(0), 0x22222222u);
    window.write(4, 0x33333333);
    EXPECT_EQ(head().physicalWord(base + 4), 0x33333333u);
    EXPECT_EQ(head().physicalWord(kSysIdBase), 0x11111111u);

    const auto maps = added(before, head().memoryMappings());
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(maps[0].fileOffset, kSysIdBase);
    EXPECT_EQ(maps[0].length(), static_cast<size_t>(getpagesize()));
}

// Catches a length that is not rounded to whole pages, or that forgets the offset: a
// window crossing a page boundary needs two pages, and both must be reachable.
TEST_F(RegisterWindowTest, LengthCoversOffsetAndWholePages) {
    const uint32_t page = static_cast<uint32_t>(getpagesize());
    {
        tcRegisterWindow window(kPllBase, 512);
        EXPECT_EQ(window.mappedLength(), (2048 + page - 1) / page * page);
    }
    const uint32_t base = kPllBase + page - 8;
    tcRegisterWindow crossing(base, 4);
    ASSERT_TRUE(crossing.isValid());
    EXPECT_EQ(crossing.mappedLength(), 2 * size_t{page});
    crossing.write(12, 0x0BADF00D); // in the second page
    EXPECT_EQ(head().physicalWord(base + 12), 0x0BADF00Du);
}

// Catches an unmap with the wrong start or length (leaked or torn-off pages): after
// destruction no mapping of the memory file may remain, and while alive exactly the
// mapped length is in the process's map.
TEST_F(RegisterWindowTest, DestructionUnmapsExactlyWhatWasMapped) {
    const auto before = head().memoryMappings();
    auto window = std::make_unique<tcRegisterWindow>(kSysIdBase + 0x20, 32);
    const auto maps = added(before, head().memoryMappings());
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(maps[0].length(), window->mappedLength());
    EXPECT_EQ(maps[0].fileOffset, kSysIdBase);
    window.reset();
    EXPECT_TRUE(added(before, head().memoryMappings()).empty());
}

// Catches a descriptor kept open for every window: the mapping must outlive it.
TEST_F(RegisterWindowTest, DescriptorIsClosedOnceMapped) {
    const int before = fpgatest::openDescriptors();
    tcRegisterWindow window(kSysIdBase, 32);
    ASSERT_TRUE(window.isValid());
    EXPECT_EQ(fpgatest::openDescriptors(), before);
    window.write(0, 7);
    EXPECT_EQ(head().physicalWord(kSysIdBase), 7u);
}

// Catches descriptor 0 taken for a failed open: a daemon that closed its standard input
// gets 0 for the memory device.
TEST_F(RegisterWindowTest, MemoryDeviceOpenedAsDescriptorZeroIsUsed) {
    const int savedInput = dup(0); // -1: the test runs without a standard input already
    if (savedInput >= 0)
        close(0);
    auto window = std::make_unique<tcRegisterWindow>(kSysIdBase, 32);
    if (savedInput >= 0) {
        ASSERT_EQ(dup2(savedInput, 0), 0);
        close(savedInput);
    }
    ASSERT_TRUE(window->isValid());
    window->write(0, 9);
    EXPECT_EQ(head().physicalWord(kSysIdBase), 9u);
}

// Catches accesses past the mapped pages or off the word grid, which would fault.
TEST_F(RegisterWindowTest, AccessesOutsideTheMappingAreIgnored) {
    tcRegisterWindow window(kSysIdBase, 32);
    ASSERT_TRUE(window.isValid());
    const uint32_t end = static_cast<uint32_t>(window.mappedLength());
    head().setPhysicalWord(kSysIdBase + end, 0x5555AAAA);
    EXPECT_EQ(window.read(end), 0u);
    EXPECT_EQ(window.read(0xFFFFFFFC), 0u);
    window.write(end, 1);
    window.write(0xFFFFFFFC, 1);
    EXPECT_EQ(head().physicalWord(kSysIdBase + end), 0x5555AAAAu);

    head().setPhysicalWord(kSysIdBase + end - 4, 0x01020304);
    EXPECT_EQ(window.read(end - 4), 0x01020304u); // the last word still counts
    EXPECT_EQ(window.read(2), 0u);                // misaligned
}

// Catches a missing device treated as mapped or not reported. The platform hooks are
// present here, so an access through the window would reach them (the head refuses it as
// register-access-unmapped, which fails the test); on the board it would fault.
TEST_F(RegisterWindowTest, AbsentMemoryDeviceLeavesAnInertWindow) {
    sim::HeadConfig config;
    config.memoryAbsent = true;
    resetHead(config);
    const int before = fpgatest::openDescriptors();
    testing::internal::CaptureStderr();
    tcRegisterWindow window(kSysIdBase, 32);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors.rfind("/dev/mem: ", 0), 0u) << errors;
    EXPECT_FALSE(window.isValid());
    EXPECT_EQ(window.mappedLength(), 0u);
    EXPECT_EQ(window.read(0), 0u);
    window.write(0, 0xFFFFFFFF); // ignored, no fault
    EXPECT_EQ(window.read(0), 0u);
    EXPECT_EQ(fpgatest::openDescriptors(), before);
}

// Catches an unchecked mmap failure: the window must stay unmapped and say "mmap".
TEST_F(RegisterWindowTest, FailedMappingIsReportedAndInert) {
    const int before = fpgatest::openDescriptors();
    const auto mapsBefore = head().memoryMappings();
    testing::internal::CaptureStderr();
    tcRegisterWindow empty(kSysIdBase, 0); // a zero length cannot be mapped
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors.rfind("mmap: ", 0), 0u) << errors;
    EXPECT_FALSE(empty.isValid());
    EXPECT_EQ(empty.read(0), 0u);
    empty.write(0, 1);
    EXPECT_EQ(fpgatest::openDescriptors(), before);
    EXPECT_TRUE(added(mapsBefore, head().memoryMappings()).empty());
}

} // namespace
