// Register-file observer: gain, bias subtraction and the vertical line factor.
#include "plugin/BoardFixture.h"
#include "support/RegisterFileWords.h"

#include "sim/FrameworkThreads.h"

#include "Vistrel/teNackCode.h"

#include <gmock/gmock.h>

using namespace Vistrel;
using ::testing::HasSubstr;
using testsupport::BoardTest;

namespace {

class ObserverTest : public BoardTest {
protected:
    // The board is still at factor 1 on the full frame and published no region words.
    void expectFactorOneOnTheFullFrame(tc120MXSSensorBoard& b) {
        EXPECT_EQ(BoardTestAccess::verticalMode(b), 1);
        EXPECT_EQ(b.getROI(), kFullFrame);
        EXPECT_FALSE(word(words::regionHeight).has_value());
        EXPECT_FALSE(word(words::regionY).has_value());
    }
    // Delivers one record straight to the observer; answers its handled flag.
    bool deliver(uint32_t address, uint32_t value, int32_t kind = tsUpdate::eeWordWritten) {
        tsUpdate update;
        update.kind = kind;
        update.address = address;
        update.value = value;
        BoardTestAccess::observer(board()).update(update);
        return update.handled;
    }
    uint32_t liveBias() { return receiver(sim::frame::biasSubtract); }
    void setLiveBias(uint32_t word) { fpga().frameCtrl.setBiasSubtract(word); }
};

TEST_F(ObserverTest, GainCodes) {
    // Fault: an invalid code reaches the sensor, a valid one does not, or a handled word is
    // left for other observers.
    bringUp();
    ASSERT_EQ(chipGain(), 15u);
    writeWord(words::gain, 13);
    EXPECT_EQ(chipGain(), 13u);

    // A refused code goes back to the gain in effect: the word says 13 again, and the chip
    // sees no other code (the put-back word may re-apply 13 once it is delivered).
    const size_t frames = spiFrameCount();
    EXPECT_TRUE(deliver(words::gain, 4));
    BoardTestAccess::waitForPublishedWords(board());
    for (uint32_t value : chipWrites(0x7A, frames))
        EXPECT_EQ((value >> 5) & 0xF, 13u);
    EXPECT_EQ(chipGain(), 13u);
    EXPECT_EQ(word(words::gain), 13u);

    // The next client value is queued again behind that put-back word; the echo's own
    // notification sends the chip no second, identical frame.
    const size_t beforeEcho = spiFrameCount();
    writeWord(words::gain, 7);
    BoardTestAccess::waitForPublishedWords(board());
    EXPECT_EQ(chipWrites(0x7A, beforeEcho).size(), 1u);
    EXPECT_EQ(chipGain(), 7u);
}

TEST_F(ObserverTest, OtherKindsAndAddressesAreOnlyLogged) {
    // Fault: a record the board does not own is acted on or claimed as handled.
    bringUp();
    const size_t frames = spiFrameCount();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(deliver(words::gain, 13, 2));
    EXPECT_FALSE(deliver(0x3A070, 1));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(spiFrameCount(), frames);
    EXPECT_EQ(out, "tcRegFileObs::update register: 249856\n"
                   "tcRegFileObs::update register: 237680\n");
}

TEST_F(ObserverTest, BiasOffsetReplacesOnlyTheOffsetBits) {
    // Fault: the offset write clears the enable or the bits between, or an oversized
    // offset is cut into the field.
    tc120MXSSensorBoard& b = bringUp();
    setLiveBias(0xC0001990);
    writeWord(words::biasOffset, 0x7FF);
    EXPECT_EQ(liveBias(), 0xC0001FFFu);
    EXPECT_TRUE(deliver(words::biasOffset, 0x800));
    EXPECT_EQ(liveBias(), 0xC0001FFFu);
    // The saved word follows the client's, so that a test pattern's end gives it back.
    EXPECT_EQ(BoardTestAccess::biasSubtract(b), 0xC0001FFFu);
}

TEST_F(ObserverTest, BiasEnableSetsAndClearsBit31) {
    // Fault: the enable is taken from the value's bit 0 only, or the offset is lost.
    bringUp();
    setLiveBias(0x40000190);
    writeWord(words::biasEnable, 5);
    EXPECT_EQ(liveBias(), 0xC0000190u);
    writeWord(words::biasEnable, 0);
    EXPECT_EQ(liveBias(), 0x40000190u);
}

TEST_F(ObserverTest, FactorChangeRescalesTheRegion) {
    // Fault: the region is not rescaled, the band is programmed with the old factor, or the
    // words are missing or swapped.
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.setROI(ROI(1000, 0, 13280, 2000)), eeSuccess);
    const int exposure = b.getExposure();

    testing::internal::CaptureStdout();
    writeWord(words::verticalFactor, 2);
    const std::string out = testing::internal::GetCapturedStdout();

    EXPECT_EQ(chipVerticalCode(), 1u);
    EXPECT_EQ(BoardTestAccess::verticalMode(b), 2);
    EXPECT_EQ(b.getROI(), ROI(500, 0, 13280, 1000));
    // Image rows 1000..2999, two for each of the 1000 output rows, are sensor rows
    // 1032..3031.
    EXPECT_THAT(out, HasSubstr("setROIArea start row : 1032 end row : 3031\n"));
    EXPECT_EQ(chipRowS(), 1032u);
    EXPECT_EQ(chipRowE(), 3031u);
    // Words of a notification leave the board after it.
    BoardTestAccess::waitForPublishedWords(b);
    EXPECT_EQ(word(words::regionHeight), 1000u);
    EXPECT_EQ(word(words::regionY), 500u);
    EXPECT_EQ(b.getExposure(), exposure);
}

TEST_F(ObserverTest, RefusedFactorChangesNothing) {
    // Fault: a factor the sensor refuses still rescales the region or publishes words.
    tc120MXSSensorBoard& b = bringUp();
    const size_t frames = spiFrameCount();
    EXPECT_TRUE(deliver(words::verticalFactor, 4));
    EXPECT_EQ(spiFrameCount(), frames);
    expectFactorOneOnTheFullFrame(b);
}

TEST_F(ObserverTest, FactorChangeDuringCaptureIsRefusedBeforeTheSensor) {
    // Fault: the board or the sensor keeps the new factor although the region is refused,
    // or the new mode reaches the sensor (and corrupts the frame in flight) before the
    // refusal writes the old one back.
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.start(), eeSuccess);
    const size_t before = spiFrameCount();

    EXPECT_TRUE(deliver(words::verticalFactor, 2)); // answered as a refused region is

    EXPECT_TRUE(chipWrites(0x03, before).empty());
    EXPECT_FALSE(word(words::regionHeight).has_value());
    expectFactorOneOnTheFullFrame(b);
}

TEST_F(ObserverTest, FactorChangeWhileStopWaitsForTheLastFrameIsRefused) {
    // Fault: the refusal ends where stop() begins instead of where its pulses stop, so a
    // client's new vertical mode reaches the sensor while the last frame is read out.
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.start(), eeSuccess);
    const int64_t interval = b.getFrameInterval();
    bool delivered = false, pulsesRan = false;
    size_t before = 0;
    sim::setPluginSleepHook([&](sim::Micros duration) {
        if (delivered || duration.count() != interval)
            return; // not stop()'s wait for the frame in flight
        delivered = true;
        pulsesRan = head().pwm().enabled;
        before = spiFrameCount();
        EXPECT_TRUE(deliver(words::verticalFactor, 2));
    });
    const int stopped = b.stop();
    sim::setPluginSleepHook({});

    EXPECT_EQ(stopped, eeSuccess);
    ASSERT_TRUE(delivered);
    EXPECT_TRUE(pulsesRan);
    EXPECT_TRUE(chipWrites(0x03, before).empty());
    expectFactorOneOnTheFullFrame(b);
}

TEST_F(ObserverTest, FactorThatEmptiesTheRegionIsRolledBack) {
    // Fault: a height that rounds down to 0 leaves the sensor at the new factor.
    tc120MXSSensorBoard& b = bringUp();
    ASSERT_EQ(b.setROI(ROI(0, 0, 13280, 4)), eeSuccess);
    EXPECT_TRUE(deliver(words::verticalFactor, 15));
    EXPECT_EQ(BoardTestAccess::verticalMode(b), 1);
    EXPECT_EQ(chipVerticalCode(), 0u);
    EXPECT_EQ(b.getROI(), ROI(0, 0, 13280, 4));
    EXPECT_FALSE(word(words::regionHeight).has_value());
}

} // namespace
