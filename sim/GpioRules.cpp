// GPIO directions: a value written to a line that is not an output drives nothing.
#include "sim/HeadImpl.h"

namespace sim {

void setGpioDirection(unsigned int pin, bool output) {
    const char* name = gpioNameOfPin(pin);
    if (name == nullptr)
        return;
    Head::Impl& h = Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (output)
        h.gpioOutputs.insert(name);
    else
        h.gpioOutputs.erase(name);
}

bool gpioMayDrive(unsigned int pin, int value) {
    const char* name = gpioNameOfPin(pin);
    if (name == nullptr)
        return true; // no such line: recorded as ignored by the driver
    Head::Impl& h = Head::instance().impl();
    std::lock_guard<std::mutex> lock(h.mutex);
    if (h.gpioOutputs.count(name) != 0)
        return true;
    h.violate("gpio-not-output", std::string(name) + " driven to " + std::to_string(value) +
                                     " before it was set as an output");
    return false;
}

} // namespace sim
