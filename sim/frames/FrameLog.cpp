// Read access to the head's frame log.
#include "sim/frames/FrameLog.h"

#include "sim/HeadImpl.h"

namespace sim {
namespace frames {
namespace {

template <typename Read> auto readLog(Read read) {
    Head& head = Head::instance();
    head.step();
    std::lock_guard<std::mutex> lock(head.impl().mutex);
    return read(head.impl().frames);
}

} // namespace

std::vector<FrameRecord> records() {
    return readLog([](const FrameModel& model) { return model.log; });
}

long long count() {
    return readLog([](const FrameModel& model) { return model.delivered; });
}

long long dropped() {
    return readLog([](const FrameModel& model) { return model.dropped; });
}

std::vector<Finding> findings() {
    return readLog([](const FrameModel& model) { return model.findings; });
}

} // namespace frames
} // namespace sim
