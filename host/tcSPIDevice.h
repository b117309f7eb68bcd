#pragma once
// Board-support SPI device (spidev).
#include <cstdint>
#include <string>

struct tsSPIConfiguration {
    uint8_t mode = 0;         // SPI mode 0..3
    uint8_t lsbFirst = 0;     // the flag byte before bits-per-word
    uint8_t bitsPerWord = 0;
    uint32_t speedHz = 0;
    uint16_t delayUsecs = 0;
};

class tcSPIDevice {
public:
    explicit tcSPIDevice(const std::string& path);
    ~tcSPIDevice();
    tcSPIDevice(const tcSPIDevice&) = delete;
    tcSPIDevice& operator=(const tcSPIDevice&) = delete;

    bool isOpen() const;
    tsSPIConfiguration getConfiguration() const;
    // True when the device accepted the configuration.
    bool setConfiguration(tsSPIConfiguration& configuration);
    // One transfer; the number of bytes sent, or -1.
    int write(const unsigned char* bytes, unsigned int count);

private:
    std::string path;
    int handle;
    tsSPIConfiguration current;
};
