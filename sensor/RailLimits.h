#pragma once
// The sensor head's eight supply rails as seen by the ADS7828: name (also the key in
// "120mxs_sensor.ini") and default limits in volts at the ADC input, keyed by channel.
#include <map>
#include <string>

namespace rails {

const std::map<int, std::string>& railNames();
const std::map<int, float>& railMinVolts();
const std::map<int, float>& railMaxVolts();

// Configuration file and sections that override the default limits.
constexpr const char* kLimitsFile = "120mxs_sensor.ini";
constexpr const char* kMaxSection = "Voltages_Max";
constexpr const char* kMinSection = "Voltages_Min";

} // namespace rails
