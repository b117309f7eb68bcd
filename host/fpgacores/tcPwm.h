#pragma once
// FPGA-core library: frame-sync pulse generator with its interrupt device.
#include <chrono>
#include <string>

class tcPwm {
public:
    tcPwm(unsigned int base, double clockMhz, const char* interruptDevice);
    ~tcPwm();
    tcPwm(const tcPwm&) = delete;
    tcPwm& operator=(const tcPwm&) = delete;

    bool initialized() const;
    void enableCore(bool enable);
    void enableInterrupts(bool enable, bool clearPending);
    void setInvertPulse(bool invert);
    // Throw std::runtime_error for a time the core's tick counters cannot hold.
    void setPeriodTime(std::chrono::microseconds period);
    void setDutyTime(std::chrono::microseconds duty);
    // Waits for the next pulse interrupt; false when the timeout passed first.
    bool waitForInterrupt(std::chrono::microseconds timeout);
    void dumpRegisters();

private:
    [[maybe_unused]] unsigned int base; // physical address of the core
    [[maybe_unused]] double clockMhz;
    [[maybe_unused]] std::string interruptDevice;
};
