// Pixel format, colour, test patterns with the bias-subtract save and restore, and trigger.
#include "plugin/BoardFixture.h"

#include "Vistrel/teNackCode.h"

#include <gmock/gmock.h>

using namespace Vistrel;
using testsupport::BoardTest;

namespace {

constexpr uint32_t kLiveBias = 0x80000190; // enabled, offset 400
constexpr uint32_t kNormalImage3A = 0x0A40A0;
constexpr uint32_t kTestImage3A = 0x015011;

class PixelFormatTest : public BoardTest {
protected:
    uint32_t liveBias() { return receiver(sim::frame::biasSubtract); }
    void setLiveBias(uint32_t word) { fpga().frameCtrl.setBiasSubtract(word); }
    std::optional<std::pair<char, int>> lastFrameOutputS() {
        std::optional<std::pair<char, int>> last;
        for (const auto& call : head().frameOutputCalls())
            if (call.first == 'S')
                last = call;
        return last;
    }
};

TEST_F(PixelFormatTest, PixelFormatTable) {
    // Fault: a mode gets another mode's shift or output size, or mode 1 touches the core.
    tc120MXSSensorBoard& b = bringUp();
    struct Row {
        teBPPMode mode;
        int direction, bits, size;
    };
    for (const Row& row : {Row{eeBPP16, 0, 1, 2}, Row{eeBPP8, 1, 3, 1}, Row{eeBPP12, 1, 3, 3}}) {
        SCOPED_TRACE(row.mode);
        EXPECT_EQ(b.setBPP(row.mode), eeSuccess);
        EXPECT_EQ(head().pixelShift().direction, row.direction);
        EXPECT_EQ(head().pixelShift().bits, row.bits);
        EXPECT_EQ(lastFrameOutputS(), std::make_pair('S', row.size));
    }

    head().clearStatusLines();
    ASSERT_EQ(b.setBPP(eeBPP16), eeSuccess);
    const auto calls = head().frameOutputCalls().size();
    EXPECT_EQ(b.setBPP(eeBPP10), eeInvalidState);
    EXPECT_EQ(head().pixelShift().bits, 1); // still mode 0's
    EXPECT_EQ(head().frameOutputCalls().size(), calls);
    const auto lines = takeStatusLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].status, int(tcStatusReporter::eeStatusInfo));
    EXPECT_EQ(lines[1].text, "setBPP: 1");
}

TEST_F(PixelFormatTest, ColourFlagReachesTheBadPixelCore) {
    // Fault: the flag is not passed on, or passed inverted.
    tc120MXSSensorBoard& b = bringUp();
    EXPECT_EQ(b.setColor(true), eeSuccess);
    EXPECT_TRUE(head().badPixel().color);
    EXPECT_EQ(b.setColor(false), eeSuccess);
    EXPECT_FALSE(head().badPixel().color);
    const auto lines = takeStatusLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].status, std::nullopt);
    EXPECT_EQ(lines[0].text, "setColor: 1");
}

TEST_F(PixelFormatTest, PatternSwitchesBiasOffAndBackOn) {
    // Fault: the live bias word is lost while a test image shows, or the sensor gets the
    // wrong image set-up.
    tc120MXSSensorBoard& b = bringUp();
    // Also the smallest word there is: offset 1, subtraction off.
    for (const uint32_t live : {kLiveBias, 1u}) {
        setLiveBias(live);

        EXPECT_EQ(b.setTestPattern(static_cast<teTestPattern>(16)), eeSuccess);
        EXPECT_EQ(b.getTestPattern(), 16);
        EXPECT_EQ(liveBias(), 0u);
        EXPECT_EQ(chipRegister(0x3A), kTestImage3A);

        EXPECT_EQ(b.setTestPattern(eeTestPatternOff), eeSuccess);
        EXPECT_EQ(b.getTestPattern(), 0);
        EXPECT_EQ(liveBias(), live);
        EXPECT_EQ(chipRegister(0x3A), kNormalImage3A);
    }
}

TEST_F(PixelFormatTest, PatternOffWithoutPatternLeavesTheBiasAlone) {
    // Fault: turning "off" a pattern that was never on writes a remembered bias word over
    // the host's current setting.
    tc120MXSSensorBoard& b = bringUp();
    setLiveBias(kLiveBias);
    ASSERT_EQ(b.setTestPattern(eeTestPatternOff), eeSuccess); // remembers 0x80000190
    setLiveBias(0);                                           // host switched it off
    EXPECT_EQ(b.setTestPattern(eeTestPatternOff), eeSuccess);
    EXPECT_EQ(liveBias(), 0u);
}

TEST_F(PixelFormatTest, RefusedPatternStillRemembersTheLiveBias) {
    // Fault: the bias word is read only after the pattern check, so the word live at a
    // refused call is not the one given back later.
    tc120MXSSensorBoard& b = bringUp();
    setLiveBias(0x800000AA);
    EXPECT_EQ(b.setTestPattern(static_cast<teTestPattern>(5)), eeArgumentOutOfRange);
    EXPECT_EQ(b.getTestPattern(), 0);
    EXPECT_EQ(BoardTestAccess::biasSubtract(b), 0x800000AAu);

    setLiveBias(0);
    ASSERT_EQ(b.setTestPattern(static_cast<teTestPattern>(17)), eeSuccess);
    ASSERT_EQ(b.setTestPattern(eeTestPatternOff), eeSuccess);
    EXPECT_EQ(liveBias(), 0x800000AAu);
}

TEST_F(PixelFormatTest, TriggerEdgeAndRefusals) {
    // Fault: the edge is set on the wrong pin or mode, an unknown mode is stored, or the
    // trigger changes under a running capture.
    tc120MXSSensorBoard& b = bringUp();
    EXPECT_EQ(b.setTrigger(static_cast<teTriggerMode>(2)), eeArgumentOutOfRange);
    EXPECT_FALSE(head().lastSetEdge().has_value());
    EXPECT_EQ(b.getTrigger(), eeFreeRunning);

    EXPECT_EQ(b.setTrigger(eeExternalTrigger), eeSuccess);
    ASSERT_TRUE(head().lastSetEdge().has_value());
    EXPECT_EQ(head().lastSetEdge()->pin, 0);
    EXPECT_EQ(head().lastSetEdge()->flags, 0);
    EXPECT_EQ(head().lastSetEdge()->mode, 1);
    EXPECT_EQ(b.getTrigger(), eeExternalTrigger);

    EXPECT_EQ(b.setTrigger(eeFreeRunning), eeSuccess);
    EXPECT_EQ(head().lastSetEdge()->mode, 0);

    ASSERT_EQ(b.start(), eeSuccess);
    EXPECT_EQ(b.setTrigger(eeExternalTrigger), eeCaputreInProgress);
    EXPECT_EQ(b.getTrigger(), eeFreeRunning);
    EXPECT_EQ(head().lastSetEdge()->mode, 0);
}

} // namespace
