#pragma once
// Board-support GPIO access.
#include <string>

namespace Tarnis {

// GPIO controller as held by the board base: lookup by device-tree name, edge set-up.
class tcGpio {
public:
    tcGpio();
    virtual ~tcGpio();
    // Pin number of a device-tree line name; negative when absent.
    static int GetPinFromDTName(const char* name);
    // Edge used for notifications on pin: mode 0 none (free running), 1 rising.
    int SetEdge(int pin, int flags, int mode);
};

// One GPIO line.
class tcGpioSingle {
public:
    explicit tcGpioSingle(unsigned int pin);
    ~tcGpioSingle();
    // The plug-in neither copies nor moves a line: it builds each in place.
    tcGpioSingle(const tcGpioSingle&) = delete;
    tcGpioSingle& operator=(const tcGpioSingle&) = delete;

    // direction 1: output driven at value; 0: input.
    int SetDirection(int direction, int value);
    int SetValue(int value);
    int GetValue();
    unsigned int pin() const { return pinNumber; }

private:
    unsigned int pinNumber;
};

// GPIO-notification interface: the framework calls Handler on its own thread for each
// edge on a watched line.
class tcGpioListener {
public:
    virtual ~tcGpioListener();
    virtual void Handler(unsigned int gpio, unsigned int level) = 0;
};

} // namespace Tarnis
