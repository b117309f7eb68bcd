// The board object itself: construction, destruction and the operations with a fixed answer.
#include "plugin/BoardFixture.h"

#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/teNackCode.h"

#include <gmock/gmock.h>

using namespace Vistrel;
using ::testing::EndsWith;
using testsupport::BoardTest;

namespace {

class BoardObjectTest : public BoardTest {};

TEST_F(BoardObjectTest, ConstructionTouchesNoHardwareAndAnnouncesItself) {
    // Fault: the constructor powers or programs the head, or the line goes out before the
    // members are built, or a flag starts undefined.
    testing::internal::CaptureStdout();
    tc120MXSSensorBoard& b = makeBoard();
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_THAT(out, EndsWith("Constructing tc120MXSSensorBoard\n"));
    EXPECT_EQ(spiFrameCount(), 0u);
    EXPECT_FALSE(head().pwm().enabled);
    EXPECT_FALSE(b.isCapturing());
    EXPECT_EQ(b.getROI(), kFullFrame);
    EXPECT_EQ(kFullFrame, ROI(0, 0, 13280, 9184));
    EXPECT_EQ(b.getTrigger(), eeFreeRunning);
    EXPECT_EQ(b.getTestPattern(), eeTestPatternOff);
    EXPECT_EQ(b.getFrameInterval(), 0);
    EXPECT_EQ(b.getExposure(), 0);
    EXPECT_EQ(BoardTestAccess::verticalMode(b), 1);
    EXPECT_EQ(BoardTestAccess::biasSubtract(b), 0u);
}

// The operations with a fixed answer, on a board that is only constructed.
class FixedAnswersTest : public BoardObjectTest {
protected:
    void SetUp() override {
        BoardObjectTest::SetUp();
        b = &makeBoard();
    }
    tc120MXSSensorBoard* b = nullptr;
};

TEST_F(FixedAnswersTest, UnsupportedBinningClockStorageAndShutterSettersRefuse) {
    // Fault: an unsupported binning, clock, save/recall, power, mirroring or shutter
    // setter claims success.
    EXPECT_EQ(b->setHorizontalBin(2), eeNotSupported);
    EXPECT_EQ(b->setVerticalBin(4), eeNotSupported);
    EXPECT_EQ(b->setClockSetting(50), eeNotSupported);
    EXPECT_EQ(b->save(1), eeNotSupported);
    EXPECT_EQ(b->recall(1), eeNotSupported);
    EXPECT_EQ(b->power(true), eeNotSupported);
    EXPECT_EQ(b->setMirroring(true, true), eeNotSupported);
    EXPECT_EQ(b->setShutterMode(eeGlobalShutter), eeNotSupported);
}

TEST_F(FixedAnswersTest, BinningAndShutterGettersIgnoreTheRefusedArguments) {
    // Fault: a getter answers the argument its refused setter was given, or validate()
    // stops answering success.
    b->setHorizontalBin(2);
    b->setVerticalBin(4);
    b->setShutterMode(eeGlobalShutter);
    EXPECT_EQ(b->getHorizontalBin(), 1);
    EXPECT_EQ(b->getVerticalBin(), 1);
    EXPECT_EQ(b->getShutterMode(), 0);
    EXPECT_EQ(b->validate(), eeSuccess);
}

TEST_F(FixedAnswersTest, MirroringIsNeverReported) {
    // Fault: the mirroring getter claims success or hands back the refused setting.
    b->setMirroring(true, true);
    for (bool vertical : {false, true}) {
        bool mirrored = true;
        EXPECT_EQ(b->getMirroring(vertical, &mirrored), eeNotSupported);
        EXPECT_FALSE(mirrored);
    }
}

TEST_F(FixedAnswersTest, UnsupportedLevelRateStrobeDecimationAndHdrOperationsRefuse) {
    // Fault: a black-level, analog-offset, line-rate, strobe, decimation or HDR operation
    // claims success.
    int level = 0, hertz = 0;
    EXPECT_EQ(b->setBlackLevel(1), eeNotSupported);
    EXPECT_EQ(b->getBlackLevel(level), eeNotSupported);
    EXPECT_EQ(b->setAnalogOffset(1), eeNotSupported);
    EXPECT_EQ(b->getAnalogOffset(level), eeNotSupported);
    EXPECT_EQ(b->setLineRate(1000), eeNotSupported);
    EXPECT_EQ(b->getLineRate(hertz), eeNotSupported);
    EXPECT_EQ(b->setStrobe(1, 2), eeNotSupported);
    EXPECT_EQ(b->setDecimation(2), eeNotSupported);
    EXPECT_EQ(b->setHDRMode(true), eeNotSupported);
}

TEST_F(FixedAnswersTest, ClockSettingIsTheFpgaClockCutToWholeMegahertz) {
    // Fault: the clock getter answers the refused setting, or rounds a fractional clock up.
    b->setClockSetting(50);
    int mhz = 0;
    EXPECT_EQ(b->getClockSetting(mhz), eeSuccess);
    EXPECT_EQ(mhz, 45);
    // A fractional clock is cut, never rounded up.
    BoardTestAccess::setFpgaClockMhz(*b, 45.9f);
    EXPECT_EQ(b->getClockSetting(mhz), eeSuccess);
    EXPECT_EQ(mhz, 45);
}

TEST_F(BoardObjectTest, SkipFramesFollowsTheTriggerMode) {
    // Fault: skip reported from the wrong flag, or the operation's fixed answer changed.
    tc120MXSSensorBoard& b = makeBoard();
    bool skip = true;
    EXPECT_EQ(b.GetSkipFrames(skip), 1);
    EXPECT_FALSE(skip);
    ASSERT_EQ(b.setTrigger(eeExternalTrigger), eeSuccess);
    EXPECT_EQ(b.GetSkipFrames(skip), 1);
    EXPECT_TRUE(skip);
}

TEST_F(BoardObjectTest, ResetFpgaHoldsThePipelineInReset) {
    // Fault: resetFpga releases the cores or answers something other than the FPGA's result.
    tc120MXSSensorBoard& b = makeBoard();
    ASSERT_EQ(fpga().initialize(), 0); // the cores are used once they reported ready
    EXPECT_EQ(b.resetFpga(), 1);
    EXPECT_TRUE(head().pixelShift().reset);
    EXPECT_TRUE(head().badPixel().reset);
}

TEST_F(BoardObjectTest, DestroyedBoardIsNeverNotified) {
    // Fault: the observer stays registered after the board is gone, and the next word
    // written calls into freed memory.
    tc120MXSSensorBoard& b = makeBoard();
    BoardTestAccess::registerObserver(b);
    const tcObserver* observer = &BoardTestAccess::observer(b);
    tcObservable& observable = tcRegisterFile::getInstance(nullptr, true)->observable;
    ASSERT_TRUE(observable.isRegistered(observer));

    boardPtr.reset();
    EXPECT_FALSE(observable.isRegistered(observer));
    writeWord(0x3D000, 13); // would reach the destroyed board
    EXPECT_TRUE(head().chipRegisters().empty());
}

TEST_F(BoardObjectTest, DeletingThroughEachInterfaceViewDestroysTheBoard) {
    // Fault: a base without a virtual destructor leaks or half-destroys the board (the
    // sanitizer build reports it); a view's registration survives the delete.
    writeSensorRegisterFile(1000);
    {
        auto* b = new tc120MXSSensorBoard(testsupport::kBoardSpiPath);
        BoardTestAccess::registerObserver(*b);
        tcMultipleROISensor* view = b;
        delete view;
    }
    {
        auto* b = new tc120MXSSensorBoard(testsupport::kBoardSpiPath);
        Tarnis::tcGpioListener* view = b;
        delete view;
    }
    {
        auto* b = new tc120MXSSensorBoard(testsupport::kBoardSpiPath);
        tcSensorBoard* view = b;
        delete view;
    }
    writeWord(0x3D000, 13);
    EXPECT_TRUE(head().chipRegisters().empty());
}

} // namespace
