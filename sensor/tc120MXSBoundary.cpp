// The sensor's crossings of the board's hardware (GPIO lines, the rail ADC, the SPI port's
// configuration, delays), each written into the boundary record when recording.
#include "platform/Platform.h"
#include "platform/TraceRecord.h"
#include "sensor/tc120MXS.h"

int tc120MXS::setLine(Tarnis::tcGpioSingle& line, int value) {
    const int result = line.SetValue(value);
    if (record != nullptr)
        record->event("gpio_set", "pin=%u val=%d result=%d", line.pin(), value, result);
    return result;
}

int tc120MXS::setLineDirection(Tarnis::tcGpioSingle& line, int direction, int value) {
    const int result = line.SetDirection(direction, value);
    if (record != nullptr)
        record->event("gpio_dir", "pin=%u dir=%d val=%d result=%d", line.pin(), direction, value,
                      result);
    return result;
}

int tc120MXS::convert(int channel, float& volts, bool singleEnded) {
    const int result = voltageAdc.Volts(channel, volts, singleEnded);
    if (record != nullptr)
        record->event("adc", "ch=%d single=%d volts=%.6g result=%d", channel, singleEnded ? 1 : 0,
                      static_cast<double>(volts), result);
    return result;
}

void tc120MXS::setUpAdc() {
    const int powerDown = voltageAdc.SetPowerDown(false);
    if (record != nullptr)
        record->event("adc_setup", "op=SetPowerDown val=0 result=%d", powerDown);
    const int reference = voltageAdc.SetInternalReference(true);
    if (record != nullptr)
        record->event("adc_setup", "op=SetInternalReference val=1 result=%d", reference);
}

void tc120MXS::configureSpi(tsSPIConfiguration& configuration, bool& accepted) {
    accepted = spi.setConfiguration(configuration);
    if (record != nullptr)
        record->event("spi_config", "mode=%u bits=%u speed=%u delay=%u ok=%d",
                      unsigned{configuration.mode}, unsigned{configuration.bitsPerWord},
                      configuration.speedHz, unsigned{configuration.delayUsecs}, accepted ? 1 : 0);
}

void tc120MXS::pause(std::chrono::microseconds duration) {
    platform::sleepFor(duration, record);
}
