#include "sensor/RailLimits.h"

namespace rails {

// The "_DIV2" rails pass a halving divider before the ADC, so their limits are half the
// supply's.
const std::map<int, std::string>& railNames() {
    static const std::map<int, std::string> names{
        {0, "5V_VIN_DIV2"},  {1, "3V8_DIV2"},        {2, "D_VDDH_3V5_DIV2"}, {3, "A_VDD_1V7"},
        {4, "3V3_VIN_DIV2"}, {5, "A_VDDH_3V5_DIV2"}, {6, "D_VDD_1V7"},       {7, "2V5_VIN"},
    };
    return names;
}

const std::map<int, float>& railMinVolts() {
    static const std::map<int, float> volts{
        {0, 2.25f},   {1, 1.805f}, {2, 1.7f}, {3, 1.6f},
        {4, 1.5675f}, {5, 1.7f},   {6, 1.6f}, {7, 2.375f},
    };
    return volts;
}

const std::map<int, float>& railMaxVolts() {
    static const std::map<int, float> volts{
        {0, 2.625f},  {1, 1.995f}, {2, 1.8f}, {3, 1.8f},
        {4, 1.7325f}, {5, 1.8f},   {6, 1.8f}, {7, 2.625f},
    };
    return volts;
}

} // namespace rails
