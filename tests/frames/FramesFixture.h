#pragma once
// A board brought up from the sample configuration on the virtual clock, with helpers to
// run its capture and read the frames the simulated head delivered.
#include "plugin/BringupFixture.h"

#include "Vistrel/tcRegisterFile.h"
#include "sim/frames/FrameLog.h"

#include <vector>

namespace frames_test {

using sim::Micros;
using sim::frames::FrameRecord;

class FramesTest : public bringup::BringupTest {
protected:
    static void sleep(Micros duration) { sim::Clock::sleepFor(duration); }
    void sleepIntervals(int n) { sleep(Micros(static_cast<long long>(n) * interval())); }
    long long interval() { return board->getFrameInterval(); }

    static void writeWord(uint32_t address, uint32_t value) {
        Vistrel::tcRegisterFile::getInstance(nullptr, true)->update_word(address, value);
    }

    static std::vector<FrameRecord> frames() { return sim::frames::records(); }
    static FrameRecord lastFrame() {
        const std::vector<FrameRecord> all = frames();
        EXPECT_FALSE(all.empty()) << "no frame delivered";
        return all.empty() ? FrameRecord{} : all.back();
    }
    // Time of the last call that enabled the pulse generator.
    Micros lastPwmEnable() {
        Micros at{-1};
        for (const auto& [time, enable] : head().pwm().enableLog)
            if (enable)
                at = time;
        return at;
    }
};

} // namespace frames_test
