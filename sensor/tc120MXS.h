#pragma once
// Canon 120MXS image sensor: SPI register writes with a shadow copy (nothing is ever
// read back from the chip), power sequencing with rail checks, the start-up register
// file, and the timing, gain, readout-area, frame-state and test-pattern fields.
#include "Tarnis/tcADS7828.h"
#include "Tarnis/tcGpio.h"
#include "Vistrel/tcMutex.h"
#include "Vistrel/teNackCode.h"
#include "platform/ThreadAnnotations.h"
#include "tcSPIDevice.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace sensorregs {
struct tsField;
}

namespace config {
class tcIniFile;
}

namespace platform {
class tcTraceRecord;
}

// GPIO pin of a device-tree line name, with a log line; negative when absent. The lookup
// goes into record unless it is null.
int GetPinFromDTName(const char* name, platform::tcTraceRecord* record = nullptr);

class tc120MXS {
public:
    enum teFrameState : int32_t {
        eeFrameStopped = 0,
        eeFrameFullExposure = 1, // exposure fills the frame interval (start line 0x7FFF)
        eeFrameState3 = 3,
        eeFrameStartLine = 4, // exposure starts at the programmed start line
    };
    enum teGain : int32_t { eeGain3 = 3, eeGain7 = 7, eeGain12 = 12, eeGain13 = 13, eeGain15 = 15 };
    enum teTestPattern : int32_t {
        eePatternNormal = 0,
        eePattern1,
        eePattern2,
        eePattern3,
        eePattern4
    };

    // powerUp results beyond 0 / 1 / -4.
    static constexpr int kPowerUpMissingGpio = -5; // XRESET or MCLK_ENABLE not in the device tree

    // SPI frames, GPIO lines, conversions and delays go into record unless it is null.
    explicit tc120MXS(std::string spiDevicePath, platform::tcTraceRecord* record = nullptr);
    virtual ~tc120MXS();
    tc120MXS(const tc120MXS&) = delete;
    tc120MXS& operator=(const tc120MXS&) = delete;

    // Register access.
    void writeRegisterUnlocked(unsigned short reg, unsigned int value) REQUIRES(registerLock);
    void writeRegister(unsigned short reg, unsigned int value);
    int readShadowRegister(unsigned short reg, unsigned int& value);
    void setRegisterField(unsigned short reg, unsigned int value, unsigned int mask,
                          unsigned char shift);
    unsigned int getRegisterField(unsigned short reg, unsigned int mask, unsigned char shift);
    // The same for a field of the register map, which carries its register, width and
    // position: setField(kGain, gain), field(kGain).
    void setField(const sensorregs::tsField& field, unsigned int value);
    unsigned int field(const sensorregs::tsField& field);

    // Power sequencing.
    int powerUp();
    void powerDown();

    // Start-up register file.
    void writeRegistersFromFile(const std::string& path);
    void SensorInitRegisters();
    void setMClockMhz(float mhz);
    int setBin(unsigned short bin);
    void setTestSigEnable(bool enable);

    // Timing, gain and readout area.
    Vistrel::teNackCode setHorizontalPeriod(unsigned short clocks);
    unsigned short getHorizontalPeriod();
    Vistrel::teNackCode setExposureStartLine(unsigned short line);
    unsigned short getExposureStartLine();
    Vistrel::teNackCode setVerticalMode(unsigned int mode);
    unsigned int getVerticalMode();
    Vistrel::teNackCode setFrameState(teFrameState state);
    teFrameState getFrameState();
    void resetShutter_PSETM(bool on);
    Vistrel::teNackCode setGain(teGain gain);
    teGain getGain();
    Vistrel::teNackCode setROIArea(unsigned short startRow, unsigned short endRow);
    Vistrel::teNackCode setTestPattern(teTestPattern pattern);
    std::chrono::microseconds getFrameReadoutTime();
    std::chrono::microseconds getOverheadTime();
    Vistrel::teNackCode setFrameInterval(std::chrono::microseconds interval);
    Vistrel::teNackCode setExposure(std::chrono::microseconds exposure);
    std::chrono::microseconds getExposure();

    float mClockMhz = 0.0f;
    std::chrono::microseconds frameInterval{0};
    teFrameState captureFrameState = eeFrameStopped;

private:
    // Plays a register file; false when it could not be opened (nothing written).
    bool playRegisterFile(const std::string& path);
    // Test-only view of the register mutex (defined by the reliability test suite).
    friend class SensorTestAccess;

    // Builds line in place as the named device-tree line, an output driven low; leaves it
    // empty when the name does not resolve.
    void openOutputPin(std::optional<Tarnis::tcGpioSingle>& line, const char* name);

    // The sensor's crossings of the board's hardware, each recorded when recording.
    int setLine(Tarnis::tcGpioSingle& line, int value);
    int setLineDirection(Tarnis::tcGpioSingle& line, int direction, int value);
    int convert(int channel, float& volts, bool singleEnded);
    void setUpAdc();
    void configureSpi(tsSPIConfiguration& configuration, bool& accepted);
    void pause(std::chrono::microseconds duration);
    // Measures every rail against its limits; true when all are within them.
    bool railsWithinLimits(const config::tcIniFile& limits);
    // Limiting path of setExposure: the exposure fills the whole frame interval.
    void limitExposureToFrameInterval();

    platform::tcTraceRecord* record; // not owned; null: not recording
    Tarnis::tcADS7828 voltageAdc;
    tcSPIDevice spi;
    // Taken for each register write and across a whole register file; after the board
    // mutex, and nothing else is taken while it is held. registerLock is its name for the
    // lock analysis.
    Vistrel::tcMutex registerMutex;
    platform::tcLockName registerLock;
    std::map<unsigned short, unsigned int> shadowRegisters GUARDED_BY(registerLock);
    std::chrono::microseconds exposure{0};
    // Absent when the device tree does not name the line: such a pin is never driven.
    std::optional<Tarnis::tcGpioSingle> resetPin;
    std::optional<Tarnis::tcGpioSingle> mclkEnablePin;
};
