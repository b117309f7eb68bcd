// Device-tree GPIO lookup with the log line the bring-up trace relies on.
#include "Tarnis/tcGpio.h"
#include "platform/TraceRecord.h"
#include "sensor/tc120MXS.h"

#include <iostream>

int GetPinFromDTName(const char* name, platform::tcTraceRecord* record) {
    const int pin = Tarnis::tcGpio::GetPinFromDTName(name);
    if (record != nullptr)
        record->event("gpio_pin", "name=%s pin=%d", name != nullptr ? name : "(null)", pin);
    if (pin >= 0)
        std::cout << "GPIO " << name << "\t\t" << pin << std::endl;
    else
        std::cerr << "ERROR: GPIO " << name << " not found in DT" << std::endl;
    return pin;
}
