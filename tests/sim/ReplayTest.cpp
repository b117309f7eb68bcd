// A record's answers on the simulated head: while installed, every FPGA register read, ADC
// conversion, GPIO line read and FPGA-core call answers what the record holds for it, in
// its order, whatever the head's models would say; past the record the models answer again
// and the shortfall is counted.
#include "support/TestSupport.h"

#include "Tarnis/tcADS7828.h"
#include "Tarnis/tcGpio.h"
#include "fpga/tcCanon120FrameCtrl.h"
#include "fpgacores/tcBadPixelReplacement.h"
#include "fpgacores/tcPwm.h"
#include "sim/Replay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>

namespace {

namespace frame = sim::frame;
using sim::replay::fpga;

class ReplayTest : public testsupport::HeadTest {
protected:
    void SetUp() override {
        HeadTest::SetUp();
        powerSensorChip();
        sim::setReplayAnswers(answers);
    }
    void TearDown() override {
        sim::setReplayAnswers(nullptr);
        HeadTest::TearDown();
    }
    void add(const std::string& subject, const std::string& value, bool thrown = false) {
        answers->add(subject, {value, thrown});
    }
    std::shared_ptr<sim::ReplayAnswers> answers = std::make_shared<sim::ReplayAnswers>();
};

TEST_F(ReplayTest, TheReceiverLocksWhenTheRecordSaysWhateverTheHeadWouldAnswer) {
    // The head's PLL locks at once; the record's locked after three looks, its DPA lanes over
    // two polls. The core waits as the record says.
    const std::string status = fpga(frame::base + frame::status);
    for (const char* value : {"0x0", "0x0", "0x0", "0x0", "0x1", "0x1"})
        add(status, value);
    add(fpga(frame::base + frame::dpaLock), "0x00000ff");
    add(fpga(frame::base + frame::dpaLock), "0xfffffff");
    tcCanon120FrameCtrl core(frame::base);
    core.setLaneInversion(head().config().laneInversion);
    testing::internal::CaptureStdout();
    const sim::Micros start = sim::Clock::now();
    EXPECT_EQ(core.enableCore(true), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(sim::Clock::now() - start, sim::Micros(2 * 100000 + 10000)) << out;
    EXPECT_NE(out.find(" tries: 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("DPA Lock: ff tries: 0\n"), std::string::npos) << out;
    // The enable's read of the control word and the alignment look were not in the record:
    // the head answered them, and that is counted.
    EXPECT_EQ(answers->beyondRecord(), (std::map<std::string, unsigned>{
                                           {fpga(frame::base + frame::control), 1}, {status, 2}}));
    EXPECT_TRUE(answers->leftOver().empty());
}

TEST_F(ReplayTest, AdcGpioAndCoreCallsAnswerTheRecordThenTheHead) {
    add(sim::replay::adc(4, true), "1.58 0");
    add(sim::replay::gpio(7), "1");
    add(sim::replay::core("tcPwm", "initialized"), "0");
    add(sim::replay::core("tcPwm", "setPeriodTime"), "-");
    add(sim::replay::core("tcPwm", "setPeriodTime"), "period out of range", true);
    add(sim::replay::core("tcBadPixelReplacement", "mapState"), "1");

    Tarnis::tcADS7828 adc(1, 0x49, 2.5f);
    float volts = 0;
    EXPECT_EQ(adc.Volts(4, volts, true), 0);
    EXPECT_FLOAT_EQ(volts, 1.58f);
    EXPECT_EQ(adc.Volts(4, volts, true), -1) << "the head's ADC, asleep, answers again";
    EXPECT_EQ(Tarnis::tcGpioSingle(7).GetValue(), 1);

    tcPwm pwm(0xFF211000, 45.0, "/dev/uio1");
    EXPECT_FALSE(pwm.initialized()) << "a healthy head's core, down in the record";
    pwm.setPeriodTime(std::chrono::microseconds(0)); // the record: it did not throw
    try {
        pwm.setPeriodTime(std::chrono::microseconds(1000));
        ADD_FAILURE() << "the recorded exception was not thrown";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "period out of range");
    }
    tcBadPixelReplacement badPixel(0xFF215000, 0xFF216000, 0xFF219000, 0x12000000,
                                   Vistrel::ROI(0, 0, 13280, 9184));
    EXPECT_EQ(badPixel.mapState(), 1);
    EXPECT_TRUE(answers->leftOver().empty());
    expectViolation("adc-not-ready");
    expectViolation("core-not-initialised");
}

} // namespace
