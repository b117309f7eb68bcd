#pragma once
// ADS7828 eight-channel 12-bit I2C ADC.

namespace Tarnis {

class tcADS7828 {
public:
    tcADS7828(int i2cBus, int address, float referenceVolts);
    ~tcADS7828();
    tcADS7828(const tcADS7828&) = delete;
    tcADS7828& operator=(const tcADS7828&) = delete;

    int SetPowerDown(bool powerDown);
    int SetInternalReference(bool internal);
    // One conversion of channel (single-ended when singleEnded); volts receives the reading.
    int Volts(int channel, float& volts, bool singleEnded);

private:
    [[maybe_unused]] int bus; // the device the real driver opens
    [[maybe_unused]] int address;
    [[maybe_unused]] float reference;
};

} // namespace Tarnis
