#include "support/TestSupport.h"

#include "Tarnis/tcADS7828.h"
#include "Tarnis/tcGpio.h"

namespace {

class BoardSupportTest : public testsupport::HeadTest {};

TEST_F(BoardSupportTest, GpioLinesResolveByNameAndRecordTimedDrives) {
    // Catches lost drives (a delay between two drives could not be measured) or a
    // name lookup that ignores the absent-line knob.
    EXPECT_EQ(Tarnis::tcGpio::GetPinFromDTName("XRESET"), 40);
    EXPECT_EQ(Tarnis::tcGpio::GetPinFromDTName("MCLK_ENABLE"), 41);
    EXPECT_LT(Tarnis::tcGpio::GetPinFromDTName("NO_SUCH_LINE"), 0);
    EXPECT_LT(Tarnis::tcGpio::GetPinFromDTName(nullptr), 0);

    Tarnis::tcGpioSingle reset(40);
    EXPECT_EQ(head().gpioLevel("XRESET"), -1);
    reset.SetDirection(1, 0);
    reset.SetValue(0);
    sim::Clock::sleepFor(sim::Micros(300000));
    reset.SetValue(1);
    EXPECT_EQ(head().gpioLevel("XRESET"), 1);
    EXPECT_EQ(reset.GetValue(), 1);
    const auto edges = head().gpioEdges();
    ASSERT_EQ(edges.size(), 3u);
    EXPECT_EQ(edges[2].time - edges[1].time, sim::Micros(300000));
    EXPECT_EQ(edges[2].name, "XRESET");

    sim::HeadConfig config;
    config.absentGpios = {"MCLK_ENABLE"};
    resetHead(config);
    EXPECT_LT(Tarnis::tcGpio::GetPinFromDTName("MCLK_ENABLE"), 0);
}

TEST_F(BoardSupportTest, UnknownPinIsIgnoredNotFaulted) {
    // Catches a negative pin number from a failed lookup crashing or driving a real line.
    Tarnis::tcGpioSingle missing(static_cast<unsigned int>(-1));
    EXPECT_NE(missing.SetDirection(1, 0), 0);
    EXPECT_NE(missing.SetValue(1), 0);
    EXPECT_TRUE(head().gpioEdges().empty());
    EXPECT_EQ(head().ignoredGpioPins().size(), 2u);
}

TEST_F(BoardSupportTest, SetEdgeIsRecorded) {
    // Catches the trigger edge set-up not reaching the GPIO controller.
    Tarnis::tcGpio gpio;
    EXPECT_EQ(gpio.SetEdge(0, 0, 1), 0);
    const auto edge = head().lastSetEdge();
    ASSERT_TRUE(edge.has_value());
    EXPECT_EQ(edge->pin, 0);
    EXPECT_EQ(edge->mode, 1);
}

TEST_F(BoardSupportTest, AdcReadsConfiguredRailsAndRefusesBadChannels) {
    // Catches a channel mix-up, a stale reading, or an out-of-range channel read past the table.
    bringSensorOutOfReset(); // the sensor's own rails on
    Tarnis::tcADS7828 adc(1, 73, 2.5f);
    ASSERT_EQ(adc.SetPowerDown(false), 0);
    ASSERT_EQ(adc.SetInternalReference(true), 0);
    float volts = -1.0f;
    EXPECT_EQ(adc.Volts(7, volts, true), 0);
    EXPECT_FLOAT_EQ(volts, 2.50f);
    head().configure([](sim::HeadConfig& c) { c.railVolts[2] = 1.9f; });
    EXPECT_EQ(adc.Volts(2, volts, true), 0);
    EXPECT_FLOAT_EQ(volts, 1.9f);
    volts = -1.0f;
    EXPECT_EQ(adc.Volts(8, volts, true), -1);
    EXPECT_EQ(adc.Volts(-1, volts, true), -1);
    EXPECT_FLOAT_EQ(volts, -1.0f);
    const auto reads = head().adcReads();
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[1].second, 2);
}

} // namespace
