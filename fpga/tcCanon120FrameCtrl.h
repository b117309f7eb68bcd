#pragma once
// Frame-receiver core: receives the sensor's 28 serial lanes (PLL, per-lane DPA,
// deserializer alignment) and cuts the region of interest out of the sensor's output.
#include "fpga/tcRegisterWindow.h"

#include <cstdint>

class tcCanon120FrameCtrl {
public:
    // Bias-subtract word (0x40): bit 31 enables subtraction, bits 30..0 hold the offset.
    static constexpr uint32_t kBiasSubtractEnable = 0x80000000u;

    struct tsResolutionConfig {
        uint16_t height; // bits 31..16
        uint16_t width;  // bits 15..0
    };
    struct tsBlankOffsetConfig {
        uint16_t vertical;   // bits 31..16
        uint16_t horizontal; // bits 15..0
    };
    struct tsRoiConfig {
        uint16_t y; // bits 31..16
        uint16_t x; // bits 15..0
    };
    struct tsStatus {
        bool aligned; // status bit 1
        bool locked;  // status bit 0
    };

    explicit tcCanon120FrameCtrl(unsigned int base, platform::tcTraceRecord* record = nullptr);
    virtual ~tcCanon120FrameCtrl();
    tcCanon120FrameCtrl(const tcCanon120FrameCtrl&) = delete;
    tcCanon120FrameCtrl& operator=(const tcCanon120FrameCtrl&) = delete;

    bool initialized() const;
    int enableCore(bool enable);

    bool readCoreEnabled();
    tsStatus readStatus();
    unsigned readLaneInversion();
    void setLaneInversion(unsigned mask);
    unsigned readIrqFlags();
    void clearIrqFlags(unsigned flags);
    unsigned readIrqMask();
    void setIrqMask(unsigned mask);
    tsResolutionConfig readRoiResCntConfig();
    void setRoiResCntConfig(tsResolutionConfig config);
    tsBlankOffsetConfig readBlankOffsetConfig();
    void setBlankOffsetConfig(tsBlankOffsetConfig config);
    unsigned readWriteFaults();
    void clearWriteFaults(unsigned faults);
    tsRoiConfig readRoiConfig();
    void setRoiConfig(tsRoiConfig config);
    unsigned readDPAReset();
    void setDPAReset(unsigned mask);
    unsigned readDPAFifoReset();
    void setDPAFifoReset(unsigned mask);
    unsigned readDPAHold();
    void setDPAHold(unsigned mask);
    unsigned readDPALock();
    void setIndexSync(unsigned value);
    void setFrameTimestamp(unsigned value);
    unsigned readBiasSubtract();
    void setBiasSubtract(unsigned word);
    unsigned readCoreId();
    unsigned readCoreRev();
    unsigned readCoreCaps();

    void dumpRegisters();

private:
    tcRegisterWindow window;
    platform::tcTraceRecord* record; // not owned; the poll waits go into it
};
