#pragma once
// The head's frame model: turns sync pulses into delivered frames (see README.md). Lives in
// the head's state and is called with the head's mutex held.
#include "sim/SimHead.h"
#include "sim/frames/Frame.h"

#include <memory>
#include <string>
#include <vector>

namespace sim {
namespace frames {

class FrameModel {
public:
    // count pulses at first, first + period, ..., all under the head's present state.
    void onPulses(Head::Impl& head, Micros first, long long period, long long count);

    std::vector<FrameRecord> log; // up to kMaxRecords
    long long delivered = 0;
    std::vector<Finding> findings;

    static constexpr size_t kMaxRecords = 100000;

private:
    FrameSettings latch(const Head::Impl& head);
    std::shared_ptr<const PixelList> badPixelList(const Head::Impl& head);
    double mean(const FrameSettings& settings);

    bool exposing = false;      // the last pulse of this run started an exposure
    size_t enableCallsSeen = 0; // PWM enable calls looked at
    std::string lastMismatch;
    std::string badPixelSource;
    std::shared_ptr<const PixelList> badPixels;
    std::unique_ptr<FrameSettings> meanOf;
    double meanValue = 0;
};

// Both figures when the sensor's output and the receiver's cut differ, else empty.
std::string geometryMismatch(const FrameSettings& settings);

} // namespace frames
} // namespace sim
