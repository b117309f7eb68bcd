#include "SimSetup.h"

#include "Numbers.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace camhost {
namespace {

[[noreturn]] void refuse(const std::string& setting, const std::string& why) {
    throw std::invalid_argument("--sim " + setting + ": " + why);
}

long long integerIn(const std::string& setting, const std::string& text, long long low,
                    long long high) {
    const std::optional<long long> value = parseInteger(text);
    if (!value || *value < low || *value > high)
        refuse(setting,
               "expected a number from " + std::to_string(low) + " to " + std::to_string(high));
    return *value;
}

uint32_t word(const std::string& setting, const std::string& text) {
    return static_cast<uint32_t>(integerIn(setting, text, 0, 0xFFFFFFFFLL));
}

// A poll count, or "never" for a lock that does not come.
std::optional<int> polls(const std::string& setting, const std::string& text) {
    if (text == "never")
        return std::nullopt;
    return static_cast<int>(integerIn(setting, text, 0, 1000000));
}

void expect(const std::string& setting, const std::string& value, const char* only) {
    if (value != only)
        refuse(setting, std::string("the only value is ") + only);
}

void apply(sim::HeadConfig& config, const std::string& setting) {
    const std::string::size_type equals = setting.find('=');
    if (equals == std::string::npos || equals == 0)
        refuse(setting, "expected KEY=VALUE");
    const std::string key = setting.substr(0, equals);
    const std::string value = setting.substr(equals + 1);

    if (key.rfind("rail.", 0) == 0) {
        const long long channel = integerIn(setting, key.substr(5), 0, 7);
        const std::optional<double> volts = parseReal(value);
        if (!volts)
            refuse(setting, "expected volts");
        config.railVolts[static_cast<size_t>(channel)] = static_cast<float>(*volts);
    } else if (key.rfind("gpio.", 0) == 0) {
        if (key.size() == 5)
            refuse(setting, "expected gpio.NAME");
        expect(setting, value, "absent");
        config.absentGpios.insert(key.substr(5));
    } else if (key == "pll") {
        config.pllLockPolls = polls(setting, value);
    } else if (key == "align") {
        config.alignPolls = polls(setting, value);
    } else if (key == "dpa") {
        config.dpaLockMask = word(setting, value);
    } else if (key == "memory") {
        expect(setting, value, "absent");
        config.memoryAbsent = true;
    } else if (key == "spi") {
        if (value == "closed")
            config.spiClosed = true;
        else if (value == "refuse-config")
            config.spiRefuseConfig = true;
        else
            refuse(setting, "expected closed or refuse-config");
    } else if (key == "sysid") {
        const std::string::size_type comma = value.find(',');
        if (comma == std::string::npos)
            refuse(setting, "expected W0,W1");
        config.sysId = {word(setting, value.substr(0, comma)),
                        word(setting, value.substr(comma + 1))};
    } else if (key == "pwm") {
        expect(setting, value, "down");
        config.pwmDown = true;
    } else if (key == "pixelshift") {
        expect(setting, value, "down");
        config.pixelShiftDown = true;
    } else if (key == "badpixel") {
        expect(setting, value, "down");
        config.badPixelDown = true;
    } else if (key == "regfile") {
        if (value == "direct")
            config.registerFileMode = sim::RegisterFileMode::direct;
        else if (value == "locked")
            config.registerFileMode = sim::RegisterFileMode::locked;
        else if (value == "thread")
            config.registerFileMode = sim::RegisterFileMode::thread;
        else
            refuse(setting, "expected direct, locked or thread");
    } else {
        refuse(setting, "unknown key " + key);
    }
}

} // namespace

sim::HeadConfig headConfigFrom(const std::vector<std::string>& settings) {
    sim::HeadConfig config;
    for (const std::string& setting : settings)
        apply(config, setting);
    return config;
}

} // namespace camhost
