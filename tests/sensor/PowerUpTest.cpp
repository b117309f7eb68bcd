// Construction, power-up sequence, rail checks and power-down of the 120MXS.
#include "SensorFixture.h"
#include "Vistrel/INIReader.h"
#include "platform/ConfigFile.h"
#include "sensor/RailLimits.h"
#include "sim/SimHead.h"

#include <chrono>
#include <stdexcept>

using namespace sensortest;

namespace {

constexpr const char* kPrefix = "int tc120MXS::powerUp()";

class PowerUpTest : public SensorTest {
protected:
    PowerUpTest() { chipRunsAtStart = false; }
    // powerUp with its standard output captured into out.
    int powerUp(std::string* out = nullptr) {
        CaptureStdout();
        const int result = sensor->powerUp();
        const std::string text = GetCapturedStdout();
        if (out != nullptr)
            *out = text;
        return result;
    }
    void setRail(int channel, float volts) {
        head().configure([&](sim::HeadConfig& c) { c.railVolts[channel] = volts; });
    }
    // Rebuilds the sensor on a head with the given set-up.
    void rebuild(const sim::HeadConfig& config) {
        sensor.reset();
        resetHead(config);
        sensor = std::make_unique<tc120MXS>(kSpiPath);
    }
    // Pins that were driven although the board has no such line.
    std::vector<unsigned int> ignoredPins() { return head().ignoredGpioPins(); }
    std::vector<sim::GpioEdge> edgesOf(const std::string& name) {
        std::vector<sim::GpioEdge> found;
        for (const auto& edge : head().gpioEdges())
            if (edge.name == name)
                found.push_back(edge);
        return found;
    }
};

TEST_F(PowerUpTest, ConstructionDrivesBothLinesLowAndLogs) {
    // Catches lines left as inputs or high before power-up, and a lost progress text.
    sensor.reset();
    resetHead(sim::HeadConfig{});
    CaptureStdout();
    sensor = std::make_unique<tc120MXS>(kSpiPath);
    const std::string out = GetCapturedStdout();

    EXPECT_EQ(head().gpioLevel("XRESET"), 0);
    EXPECT_EQ(head().gpioLevel("MCLK_ENABLE"), 0);
    const std::string prefix = "tc120MXS::tc120MXS(std::__cxx11::string)";
    EXPECT_EQ(out, prefix + ": Constructing tc120MXS\n" + prefix +
                       ": Exporting/configuring120MXS control GPIOs\n" + "GPIO XRESET\t\t" +
                       std::to_string(head().gpioPin("XRESET")) + "\n" + "GPIO MCLK_ENABLE\t\t" +
                       std::to_string(head().gpioPin("MCLK_ENABLE")) + "\n" + prefix +
                       ": Configuring voltage check ADC..." + prefix + ": Done!\n");
    EXPECT_TRUE(frames().empty());
    EXPECT_TRUE(head().adcReads().empty());
}

TEST_F(PowerUpTest, ResetPulseAndRailReadingsFollowTheTimeline) {
    // Catches a shortened reset pulse, missing settle delays, a kept first conversion or
    // the master clock enabled at power-up.
    std::string out;
    ASSERT_EQ(powerUp(&out), 0);

    const auto reset = edgesOf("XRESET");
    ASSERT_GE(reset.size(), 2u);
    const auto& low = reset[reset.size() - 2];
    const auto& high = reset.back();
    EXPECT_EQ(low.level, 0);
    EXPECT_EQ(high.level, 1);
    EXPECT_EQ(high.time - low.time, microseconds(300000));
    EXPECT_EQ(head().gpioLevel("MCLK_ENABLE"), 0);

    const auto reads = head().adcReads();
    ASSERT_EQ(reads.size(), 9u);
    EXPECT_EQ(reads[0].second, 0);
    EXPECT_EQ(reads[0].first - high.time, microseconds(10000));
    for (int channel = 0; channel < 8; ++channel) {
        EXPECT_EQ(reads[channel + 1].second, channel);
        EXPECT_EQ(reads[channel + 1].first - reads[0].first, microseconds(5000));
    }

    const auto spi = head().lastSpiConfiguration();
    ASSERT_TRUE(spi.has_value());
    EXPECT_EQ(spi->mode, 0);
    EXPECT_EQ(spi->lsbFirst, 0);
    EXPECT_EQ(spi->bitsPerWord, 8);
    EXPECT_EQ(spi->speedHz, 4000000u);

    const std::string p = kPrefix;
    EXPECT_THAT(out, HasSubstr(p + ": Opening spidev..." + p + ": Done!\n" + p +
                               ": Configuring spidev..." + p + "Setting bits to 8\n" + p +
                               ": Done!\n" + p + ": toggling power supplies on\n" + p +
                               ": Verifying voltages...\n5V_VIN_DIV2: "));
    EXPECT_THAT(out, HasSubstr("\n2V5_VIN: "));
}

TEST_F(PowerUpTest, FiveVoltRailAgainstItsDefaultLimits) {
    // Catches defaults that are off, or limits compared against the wrong channel.
    setRail(0, 2.49f);
    EXPECT_EQ(powerUp(), 0);
    setRail(0, 2.63f);
    EXPECT_EQ(powerUp(), -4);
}

TEST_F(PowerUpTest, LimitsAreInclusive) {
    // Catches >= / <= used where a reading equal to its limit must pass.
    for (const auto& [channel, limit] : rails::railMaxVolts())
        setRail(channel, limit);
    EXPECT_EQ(powerUp(), 0);
    for (const auto& [channel, limit] : rails::railMinVolts())
        setRail(channel, limit);
    EXPECT_EQ(powerUp(), 0);
    setRail(3, 1.59f);
    EXPECT_EQ(powerUp(), -4);
}

TEST_F(PowerUpTest, EveryRailIsReadAfterOneFails) {
    // Catches a rail check that stops at the first failing rail.
    setRail(2, 1.9f);
    std::string out;
    EXPECT_EQ(powerUp(&out), -4);
    EXPECT_EQ(head().adcReads().size(), 9u);
    for (const auto& [channel, name] : rails::railNames())
        EXPECT_THAT(out, HasSubstr("\n" + name + ": ")) << "channel " << channel;
    EXPECT_THAT(out, HasSubstr("D_VDDH_3V5_DIV2: 1.9\n"));
    EXPECT_EQ(head().gpioLevel("XRESET"), 1); // nothing is undone
}

TEST_F(PowerUpTest, IniOverridesOneRailOthersKeepDefaults) {
    // Catches an override read from the wrong section or key, or one that replaces every
    // rail's limits.
    writeFile("120mxs_sensor.ini", "[Voltages_Max]\n2V5_VIN = 3.0\n");
    setRail(7, 2.9f);
    EXPECT_EQ(powerUp(), 0);
    setRail(0, 2.63f);
    EXPECT_EQ(powerUp(), -4);

    writeFile("120mxs_sensor.ini", "[Voltages_Min]\n3V8_DIV2 = 1.85\n");
    setRail(0, 2.49f);
    setRail(7, 2.5f);
    setRail(1, 1.84f);
    EXPECT_EQ(powerUp(), -4);
}

TEST_F(PowerUpTest, NonFiniteLimitFallsBackToItsDefault) {
    // Catches a NaN or infinite limit switching the rail check off, a fallback that is not
    // the rail's own default, or a fallback that goes unreported.
    writeFile("120mxs_sensor.ini", "[Voltages_Max]\n5V_VIN_DIV2 = nan\n"
                                   "[Voltages_Min]\n3V8_DIV2 = -inf\n");
    setRail(0, 9.5f);
    CaptureStderr();
    EXPECT_EQ(powerUp(), -4);
    EXPECT_EQ(GetCapturedStderr(),
              std::string(kPrefix) +
                  ": Voltages_Max 5V_VIN_DIV2 = nan is not a finite limit, default 2.625 V "
                  "used\n" +
                  kPrefix +
                  ": Voltages_Min 3V8_DIV2 = -inf is not a finite limit, default 1.805 V used\n");

    setRail(0, 2.625f); // the default maximum itself passes
    setRail(1, 1.8f);   // below the default minimum
    CaptureStderr();
    EXPECT_EQ(powerUp(), -4);
    GetCapturedStderr();
    setRail(1, 1.805f);
    CaptureStderr();
    EXPECT_EQ(powerUp(), 0);
    GetCapturedStderr();
}

TEST_F(PowerUpTest, SampleIniHoldsTheDefaults) {
    // Catches a sample rail-limit file that changes a limit, even by the rounding of a
    // single-precision default (1.995 read as a double is below the default's 1.995f, and
    // a reading of exactly 1.995f then fails with the file only), or misnames a rail.
    copySampleConfig("120mxs_sensor.ini");
    const Vistrel::INIReader limits("120mxs_sensor.ini");
    ASSERT_EQ(limits.ParseError(), 0);
    for (const auto& [channel, name] : rails::railNames()) {
        EXPECT_EQ(limits.GetReal("Voltages_Max", name, -1),
                  static_cast<double>(rails::railMaxVolts().at(channel)))
            << name;
        EXPECT_EQ(limits.GetReal("Voltages_Min", name, -1),
                  static_cast<double>(rails::railMinVolts().at(channel)))
            << name;
    }
    EXPECT_EQ(powerUp(), 0);
}

TEST_F(PowerUpTest, ClosedSpiThrowsBeforeTouchingAnything) {
    // Catches pins driven or rails read when the SPI device is not open.
    sim::HeadConfig config;
    config.spiClosed = true;
    rebuild(config);
    const auto edgesBefore = head().gpioEdges().size();

    CaptureStdout();
    try {
        sensor->powerUp();
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Failed to open spidev");
    }
    const std::string out = GetCapturedStdout();
    const std::string p = kPrefix;
    EXPECT_EQ(out, p + ": Opening spidev..." + p + ": Done!\n" + p + ": Configuring spidev...");
    EXPECT_EQ(head().gpioEdges().size(), edgesBefore);
    EXPECT_TRUE(head().adcReads().empty());
    EXPECT_FALSE(head().lastSpiConfiguration().has_value());
}

TEST_F(PowerUpTest, RefusedSpiConfigurationReturnsOneWithPinsUntouched) {
    // Catches power-up going on after the SPI port refused its configuration.
    sim::HeadConfig config;
    config.spiRefuseConfig = true;
    rebuild(config);
    const auto edgesBefore = head().gpioEdges().size();
    EXPECT_EQ(powerUp(), 1);
    EXPECT_EQ(head().gpioEdges().size(), edgesBefore);
    EXPECT_TRUE(head().adcReads().empty());
}

TEST_F(PowerUpTest, MissingResetLineIsNeverDrivenAndPowerUpRefuses) {
    // Catches a missing device-tree line turned into a huge pin number and driven, and a
    // power-up that reports success with the sensor still in reset.
    sim::HeadConfig config;
    config.absentGpios = {"XRESET"};
    sensor.reset();
    resetHead(config);
    CaptureStderr();
    CaptureStdout();
    sensor = std::make_unique<tc120MXS>(kSpiPath);
    GetCapturedStdout();
    EXPECT_EQ(GetCapturedStderr(), "ERROR: GPIO XRESET not found in DT\n");

    CaptureStderr();
    EXPECT_EQ(powerUp(), tc120MXS::kPowerUpMissingGpio);
    EXPECT_EQ(GetCapturedStderr(),
              "int tc120MXS::powerUp(): GPIO XRESET not found in DT, sensor not powered\n");
    sensor->powerDown();
    for (const auto& edge : head().gpioEdges())
        EXPECT_NE(edge.name, "XRESET");
    EXPECT_TRUE(ignoredPins().empty()) << "a pin the board does not have was driven";
    EXPECT_TRUE(edgesOf("MCLK_ENABLE").size() <= 1u); // only the construction's level
    EXPECT_TRUE(head().adcReads().empty());
}

TEST_F(PowerUpTest, MissingClockEnableIsReportedToo) {
    // Catches the clock-enable line's absence going unnoticed until the register file.
    sim::HeadConfig config;
    config.absentGpios = {"MCLK_ENABLE"};
    CaptureStderr();
    rebuild(config);
    EXPECT_EQ(powerUp(), tc120MXS::kPowerUpMissingGpio);
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr("GPIO MCLK_ENABLE not found in DT, sensor not powered"));
    EXPECT_EQ(head().gpioLevel("XRESET"), 0);
    EXPECT_EQ(head().gpioLevel("MCLK_ENABLE"), -1);
    EXPECT_TRUE(ignoredPins().empty());
}

TEST_F(PowerUpTest, PowerDownPutsTheSensorInResetOnly) {
    // Catches power-down that leaves reset high or also drops the master clock enable.
    ASSERT_EQ(powerUp(), 0);
    writeFile("120MXS_registers.txt", "");
    CaptureStdout();
    sensor->SensorInitRegisters();
    GetCapturedStdout();
    ASSERT_EQ(head().gpioLevel("MCLK_ENABLE"), 1);

    CaptureStdout();
    sensor->powerDown();
    EXPECT_EQ(GetCapturedStdout(), "void tc120MXS::powerDown(): Powering down...Done!\n");
    EXPECT_EQ(head().gpioLevel("XRESET"), 0);
    EXPECT_EQ(head().gpioLevel("MCLK_ENABLE"), 1);
}

TEST_F(PowerUpTest, DestructionDrivesNothing) {
    // Catches a destructor that toggles a line or sends a frame.
    ASSERT_EQ(powerUp(), 0);
    const auto edges = head().gpioEdges().size();
    sensor.reset();
    EXPECT_EQ(head().gpioEdges().size(), edges);
    EXPECT_TRUE(frames().empty());
    EXPECT_EQ(head().gpioLevel("XRESET"), 1);
}

TEST_F(PowerUpTest, ConfigValuesAreReportedOnlyWhenReadOtherwiseThanWritten) {
    // Fault: a hexadecimal value read exactly as written is reported as misread, or a real
    // number the reader does not take (a unit after it) passes without a word.
    writeFile("limits.ini", "[Voltages_Max]\nMask = 0x0200443A\nGood = 1.995\nUnit = 1.9 V\n");
    const config::tcIniFile file("limits.ini");
    testing::internal::CaptureStderr();
    EXPECT_EQ(file.unsigned32("Voltages_Max", "Mask", 7), 0x0200443Au);
    EXPECT_DOUBLE_EQ(file.real("Voltages_Max", "Good", 0.0), 1.995);
    const double unit = file.real("Voltages_Max", "Unit", 2.5);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("Mask"), std::string::npos) << err;
    EXPECT_EQ(err.find("Good"), std::string::npos) << err;
    EXPECT_NE(err.find("limits.ini: [Voltages_Max] Unit = \"1.9 V\" read as "), std::string::npos)
        << err << " (value used: " << unit << ")";
}

} // namespace
