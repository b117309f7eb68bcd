// Construction and power sequencing of the 120MXS: SPI set-up, the reset pulse and the
// check of the eight supply rails.
#include "platform/ConfigFile.h"
#include "platform/Platform.h"
#include "platform/TraceRecord.h"
#include "sensor/RailLimits.h"
#include "sensor/tc120MXS.h"

#include <chrono>
#include <cmath>
#include <iostream>
#include <stdexcept>

namespace {

constexpr const char* kConstructorPrefix = "tc120MXS::tc120MXS(std::__cxx11::string)";
constexpr const char* kPowerUpPrefix = "int tc120MXS::powerUp()";
constexpr const char* kPowerDownPrefix = "void tc120MXS::powerDown()";

constexpr const char* kResetLine = "XRESET";
constexpr const char* kMclkEnableLine = "MCLK_ENABLE";

// Rail ADC on I2C bus 1 at 0x49 with a 2.5 V reference.
constexpr int kAdcBus = 1;
constexpr int kAdcAddress = 73;
constexpr float kAdcReferenceVolts = 2.5f;

constexpr uint32_t kSpiSpeedHz = 4000000;
constexpr uint8_t kSpiBitsPerWord = 8;

// XRESET is held low this long for the sensor to reset.
constexpr std::chrono::milliseconds kResetPulse{300};
// After XRESET is released the rails settle before the first (discarded) conversion.
constexpr std::chrono::milliseconds kResetRelease{10};
// The ADC settles after its first conversion before the readings that are kept.
constexpr std::chrono::milliseconds kAdcSettle{5};

// A configured limit, or the default when the file gives no finite number: a NaN limit
// would let every reading pass.
double railLimit(const config::tcIniFile& limits, const char* section, const std::string& name,
                 float defaultVolts) {
    const double volts = limits.real(section, name.c_str(), defaultVolts);
    if (std::isfinite(volts))
        return volts;
    std::cerr << kPowerUpPrefix << ": " << section << " " << name << " = " << volts
              << " is not a finite limit, default " << defaultVolts << " V used" << std::endl;
    return defaultVolts;
}

} // namespace

void tc120MXS::openOutputPin(std::optional<Tarnis::tcGpioSingle>& line, const char* name) {
    const int pin = GetPinFromDTName(name, record);
    // A negative number would become a huge unsigned pin; such a line is left alone.
    if (pin < 0)
        return;
    line.emplace(static_cast<unsigned int>(pin));
    setLineDirection(*line, 1, 0);
}

tc120MXS::tc120MXS(std::string spiDevicePath, platform::tcTraceRecord* record)
    : record(record), voltageAdc(kAdcBus, kAdcAddress, kAdcReferenceVolts), spi(spiDevicePath),
      registerMutex(true) {
    if (record != nullptr)
        record->event("spi_open", "path=%s ok=%d",
                      platform::tcTraceRecord::quoted(spiDevicePath).c_str(), spi.isOpen() ? 1 : 0);
    std::cout << kConstructorPrefix << ": Constructing tc120MXS" << std::endl;
    std::cout << kConstructorPrefix << ": Exporting/configuring120MXS control GPIOs" << std::endl;
    openOutputPin(resetPin, kResetLine);
    openOutputPin(mclkEnablePin, kMclkEnableLine);
    std::cout << kConstructorPrefix << ": Configuring voltage check ADC..." << std::flush;
    setUpAdc();
    std::cout << kConstructorPrefix << ": Done!" << std::endl;
}

// Members go in reverse order of declaration (clock enable, reset line, shadow map, mutex,
// SPI port, ADC); no line is driven and nothing is sent.
tc120MXS::~tc120MXS() = default;

int tc120MXS::powerUp() {
    std::cout << kPowerUpPrefix << ": Opening spidev..." << std::flush;
    const bool open = spi.isOpen();
    std::cout << kPowerUpPrefix << ": Done!" << std::endl;
    std::cout << kPowerUpPrefix << ": Configuring spidev..." << std::flush;
    if (!open)
        throw std::runtime_error("Failed to open spidev");

    tsSPIConfiguration configuration = spi.getConfiguration();
    std::cout << kPowerUpPrefix << "Setting bits to 8" << std::endl;
    configuration.mode = 0;
    configuration.lsbFirst = 0;
    configuration.bitsPerWord = kSpiBitsPerWord;
    configuration.speedHz = kSpiSpeedHz;
    bool accepted = false;
    configureSpi(configuration, accepted);
    if (!accepted)
        return 1;
    std::cout << kPowerUpPrefix << ": Done!" << std::endl;

    // Without both control lines the sensor cannot be taken out of reset safely: refuse
    // before any line is driven.
    if (!resetPin || !mclkEnablePin) {
        for (const auto& [line, name] : {std::pair{resetPin.has_value(), kResetLine},
                                         std::pair{mclkEnablePin.has_value(), kMclkEnableLine}})
            if (!line)
                std::cerr << kPowerUpPrefix << ": GPIO " << name
                          << " not found in DT, sensor not powered" << std::endl;
        return kPowerUpMissingGpio;
    }

    if (record != nullptr)
        record->file(rails::kLimitsFile);
    const config::tcIniFile limits(rails::kLimitsFile);
    std::cout << kPowerUpPrefix << ": toggling power supplies on" << std::endl;
    // The master clock stays off until the register file is played.
    setLine(*mclkEnablePin, 0);
    setLine(*resetPin, 0);
    pause(kResetPulse);
    setLine(*resetPin, 1);
    pause(kResetRelease);

    std::cout << kPowerUpPrefix << ": Verifying voltages..." << std::endl;
    return railsWithinLimits(limits) ? 0 : -4;
}

bool tc120MXS::railsWithinLimits(const config::tcIniFile& limits) {
    // The first conversion after power-up is unreliable: read it and let the ADC settle.
    float discarded = 0.0f;
    convert(0, discarded, true);
    pause(kAdcSettle);

    bool allWithin = true;
    for (const auto& [channel, name] : rails::railNames()) {
        float volts = 0.0f;
        convert(channel, volts, true);
        const double measured = volts;
        std::cout << name << ": " << measured << std::endl;
        // Every rail is measured and printed even after one has failed.
        // A reading that is no number (a failed conversion) is no proof the rail is good.
        if (!std::isfinite(measured)) {
            allWithin = false;
            continue;
        }
        const double maximum =
            railLimit(limits, rails::kMaxSection, name, rails::railMaxVolts().at(channel));
        if (measured > maximum) {
            allWithin = false;
            continue;
        }
        const double minimum =
            railLimit(limits, rails::kMinSection, name, rails::railMinVolts().at(channel));
        if (measured < minimum)
            allWithin = false;
    }
    return allWithin;
}

void tc120MXS::powerDown() {
    std::cout << kPowerDownPrefix << ": Powering down..." << std::flush;
    if (resetPin)
        setLine(*resetPin, 0);
    std::cout << "Done!" << std::endl;
}
