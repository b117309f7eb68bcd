#include "Checks.h"

#include "Tarnis/tcGpio.h"

namespace boardprobe {

void checkGpioNames(Report& report) {
    // The two lines the sensor's power-up drives, by the names it looks them up by.
    for (const char* name : {"XRESET", "MCLK_ENABLE"}) {
        const std::string check = std::string("device-tree GPIO ") + name;
        const int pin = Tarnis::tcGpio::GetPinFromDTName(name);
        if (pin >= 0)
            report.ok(check, "pin " + std::to_string(pin));
        else
            report.fail(check, "no line of that name (" + std::to_string(pin) + ")",
                        std::string("a GPIO line named ") + name +
                            " in the device tree, or init answers -5 and powers nothing");
    }
    report.notCheckable("trigger input",
                        "the plug-in names no line for it; setTrigger sets the edge of pin 0 "
                        "of its pin table through the framework's tcGpio::SetEdge");
}

} // namespace boardprobe
