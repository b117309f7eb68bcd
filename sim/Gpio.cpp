// Board-support GPIO on the simulated head: lines by device-tree name, levels recorded.
#include "Tarnis/tcGpio.h"

#include "sim/FrameworkThreads.h"
#include "sim/HeadImpl.h"

#include <cstring>
#include <string>

namespace Tarnis {
namespace {

sim::Head::Impl& head() {
    return sim::Head::instance().impl();
}

// Drives a line; false (recorded as ignored) for a pin the board does not have.
bool drive(unsigned int pin, int value) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    const char* name = sim::gpioNameOfPin(pin);
    if (name == nullptr) {
        h.ignoredGpioPins.push_back(pin);
        return false;
    }
    const int level = value != 0 ? 1 : 0;
    auto previous = h.gpioLevels.find(name);
    const bool changed = previous == h.gpioLevels.end() || previous->second != level;
    const int before = previous == h.gpioLevels.end() ? 0 : previous->second;
    h.gpioLevels[name] = level;
    sim::sensorLineDriven(h, name, before, level);
    // Every drive is logged, also one that keeps the level: delays are measured between them.
    h.gpioEdges.push_back(sim::GpioEdge{sim::Clock::now(), name, level});
    if (changed)
        h.traceNow(name, static_cast<uint64_t>(level));
    return true;
}

} // namespace

tcGpio::tcGpio() = default;
tcGpio::~tcGpio() = default;

int tcGpio::GetPinFromDTName(const char* name) {
    if (name == nullptr)
        return -1;
    return sim::Head::instance().gpioPin(name);
}

int tcGpio::SetEdge(int pin, int flags, int mode) {
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.setEdge = sim::SetEdgeCall{pin, flags, mode};
    if (pin < 0)
        return -1;
    // Only the plug-in's trigger edge is ever set: one on another I/O pin leaves the
    // trigger input without the edge it was meant to get.
    if (pin != sim::kTriggerIoPin) {
        h.violate("trigger-edge-wrong-pin", "SetEdge on I/O pin " + std::to_string(pin) +
                                                ", where the trigger input is I/O pin " +
                                                std::to_string(sim::kTriggerIoPin) +
                                                " (TRIGGER_IN): its edge is left as it was");
        return 0;
    }
    h.triggerEdge = mode;
    return 0;
}

tcGpioSingle::tcGpioSingle(unsigned int pin) : pinNumber(pin) {}
tcGpioSingle::~tcGpioSingle() = default;

int tcGpioSingle::SetDirection(int direction, int value) {
    sim::setGpioDirection(pinNumber, direction != 0);
    if (direction == 0) {
        // An input: the line keeps whatever level it had.
        sim::Head::Impl& h = head();
        std::lock_guard<std::mutex> lock(h.mutex);
        if (sim::gpioNameOfPin(pinNumber) == nullptr) {
            h.ignoredGpioPins.push_back(pinNumber);
            return -1;
        }
        return 0;
    }
    return drive(pinNumber, value) ? 0 : -1;
}

int tcGpioSingle::SetValue(int value) {
    if (!sim::gpioMayDrive(pinNumber, value))
        return -1;
    return drive(pinNumber, value) ? 0 : -1;
}

int tcGpioSingle::GetValue() {
    if (const auto replayed =
            sim::replay::active() ? sim::replay::next(sim::replay::gpio(pinNumber)) : std::nullopt)
        return static_cast<int>(sim::replay::number(replayed->value));
    sim::Head::Impl& h = head();
    std::lock_guard<std::mutex> lock(h.mutex);
    const char* name = sim::gpioNameOfPin(pinNumber);
    if (name == nullptr) {
        h.ignoredGpioPins.push_back(pinNumber);
        return -1;
    }
    auto found = h.gpioLevels.find(name);
    return found == h.gpioLevels.end() ? 0 : found->second;
}

tcGpioListener::~tcGpioListener() = default;

} // namespace Tarnis

namespace sim {
namespace {

detail::NotificationThread& gpioThread() {
    static auto* const thread = new detail::NotificationThread(); // lives with the process
    return *thread;
}

} // namespace

void notifyGpio(Tarnis::tcGpioListener& listener, unsigned int pin, unsigned int level) {
    Tarnis::tcGpioListener* target = &listener;
    gpioThread().post([target, pin, level] { target->Handler(pin, level); });
}

void waitForGpioNotifications() {
    gpioThread().drain();
}

} // namespace sim
