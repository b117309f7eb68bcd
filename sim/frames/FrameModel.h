#pragma once
// The head's frame model: turns sync pulses into delivered frames (see README.md). Lives in
// the head's state and is called with the head's mutex held, in time order: the head steps
// it to each instant before anything changes there.
#include "sim/SimHead.h"
#include "sim/frames/Frame.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {
namespace frames {

class FrameModel {
public:
    // One sync pulse at `at`, under the head's present state.
    void onPulse(Head::Impl& head, Micros at);
    // The head's state is about to change at now: an exposure that began before now keeps
    // the settings in force until now.
    void settle(Head::Impl& head, Micros now);
    // True while the sensor reads a frame out at now.
    bool readingOut(Micros now) const { return now >= readoutStart && now < readoutEnd; }
    Micros readoutEndsAt() const { return readoutEnd; }

    std::vector<FrameRecord> log; // the first kMaxRecords frames
    long long delivered = 0;
    long long dropped = 0; // exposed frames a readout overrun lost
    std::vector<Finding> findings;

    static constexpr size_t kMaxRecords = 10000;

private:
    // The sensor side of a frame in exposure.
    struct Exposure {
        Micros pulse{0};             // the pulse that started it
        std::optional<Micros> start; // set once the exposure began: settings latched then
        int gainCode = 0;
        bool testImage = false;
    };

    FrameSettings latch(const Head::Impl& head);
    void latchExposure(Head::Impl& head, Exposure& exposure, Micros start);
    void deliver(Head::Impl& head, const Exposure& exposure, Micros at, long long readoutUs);
    std::shared_ptr<const PixelList> badPixelList(const Head::Impl& head);
    double mean(const FrameSettings& settings);

    std::optional<Exposure> exposure;        // the frame the next pulse reads out
    Micros readoutStart{-1}, readoutEnd{-1}; // the sensor's latest readout
    size_t enableCallsSeen = 0;              // PWM enable calls looked at
    std::string lastFault;
    std::string badPixelSource;
    std::shared_ptr<const PixelList> badPixels;
    std::unique_ptr<FrameSettings> meanOf;
    double meanValue = 0;
};

// Both figures when the receiver's cut differs from the sensor's image lines, else empty.
std::string geometryMismatch(const FrameSettings& settings);
// True when the receiver waits for lines or columns the sensor does not send.
bool geometryFault(const FrameSettings& settings);

// Time the sensor needs from a pulse to the start of an exposure of `startLine` lines less
// than the period, and to read out `rows` rows (with the frame's overhead lines), at the line
// length register's value.
long long startLineOffsetUs(long long startLine, uint32_t lineLength);
long long readoutUs(long long rows, uint32_t lineLength);

} // namespace frames
} // namespace sim
