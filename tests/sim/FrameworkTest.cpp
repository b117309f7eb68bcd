#include "support/TestSupport.h"

#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcSensorBoard.h"

#include <string>

namespace {

struct Board : Vistrel::tcSensorBoard, Vistrel::tcMultipleROISensor {
    int programmed = 0;
    int pins[4] = {0, 0, 0, 0};
    Board() : tcSensorBoard(4, 0xFF200000, 0x18000, 4, pins), tcMultipleROISensor(1) {}
    int programMultipleROI() override {
        ++programmed;
        return 0;
    }
    void report(const std::string& text) { updateStatusFMT(eeStatusInfo, "%s", text.c_str()); }
};

class FrameworkTest : public testsupport::HeadTest {};

TEST_F(FrameworkTest, RegionTextAndStatusLines) {
    // Catches a truncated formatted status line or the status code lost from the log.
    EXPECT_EQ(Vistrel::ROI(0, 0, 13280, 9184).toString(), "(0, 0, 13280, 9184)");
    EXPECT_EQ(Vistrel::ROI(8, 16, 64, 32).toString(), "(8, 16, 64, 32)");

    Board board;
    board.updateStatus(Vistrel::tcStatusReporter::eeStatusCapturing, "Starting capture...");
    board.updateStatusFMT(Vistrel::tcStatusReporter::eeStatusInfo, "setExposure %d uS", 20000);
    const std::string longText(5000, 'x');
    board.report(longText);
    board.updateStatusFMT("plain %s", "line");
    const auto lines = head().statusLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].status, 0);
    EXPECT_EQ(lines[0].text, "Starting capture...");
    EXPECT_EQ(lines[1].status, 6);
    EXPECT_EQ(lines[1].text, "setExposure 20000 uS");
    EXPECT_EQ(lines[2].text, longText);
    EXPECT_FALSE(lines[3].status.has_value());
    EXPECT_EQ(lines[3].text, "plain line");
    head().clearStatusLines();
    EXPECT_TRUE(head().statusLines().empty());
}

TEST_F(FrameworkTest, StatusEchoFollowsTheKnob) {
    // Catches status lines printed when not asked (noise in camhost's output) or not printed
    // when asked.
    Board board;
    testing::internal::CaptureStdout();
    board.updateStatus(Vistrel::tcStatusReporter::eeStatusStopped, "quiet");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    head().configure([](sim::HeadConfig& c) { c.echoStatus = true; });
    testing::internal::CaptureStdout();
    board.updateStatus(Vistrel::tcStatusReporter::eeStatusStopped, "Ending capture...");
    board.updateStatusFMT("no code %d", 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "STATUS 1: Ending capture...\nSTATUS: no code 5\n");
}

TEST_F(FrameworkTest, RegionCountAndListNeverDisagree) {
    // Catches a count that exceeds the list (reads past it) or a list not programmed.
    Board board;
    board.setNumberOfROI(3);
    ASSERT_EQ(board.getNumberOfROI(), 3);
    EXPECT_EQ(board.getROIList()[2], Vistrel::ROI(0, 0, 13280, 9184));
    board.setNumberOfROI(-1);
    EXPECT_EQ(board.getNumberOfROI(), 0);
    EXPECT_EQ(board.getROIList(), nullptr);
    EXPECT_EQ(
        board.setMultipleROI({Vistrel::ROI(100, 64, 1024, 200), Vistrel::ROI(40, 0, 512, 300)}), 0);
    EXPECT_EQ(board.programmed, 1);
    ASSERT_EQ(board.getNumberOfROI(), 2);
    EXPECT_EQ(board.getROIList()[1], Vistrel::ROI(40, 0, 512, 300));
}

TEST_F(FrameworkTest, FrameOutputCallsAreLoggedAndQAnswersTheKnob) {
    // Catches frame-output calls lost or Q answering something other than the set-up value.
    Vistrel::tcFrameOutput output;
    output.P(2);
    const int q = output.Q();
    output.R((q * 2) & 0xFFFE);
    EXPECT_EQ(q, 0x0123);
    const auto calls = head().frameOutputCalls();
    EXPECT_EQ(calls, (std::vector<std::pair<char, int>>{{'P', 2}, {'Q', 0x0123}, {'R', 0x0246}}));
}

} // namespace
