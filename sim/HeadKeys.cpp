#include "sim/HeadKeys.h"

#include "sim/HeadImpl.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <stdexcept>
#include <system_error>

namespace sim {
// Named, not anonymous: the sim is compiled in batches, and these names are common.
namespace headkeys {

// Decimal or 0x-hex, optionally signed, the whole text; nothing when it does not fit.
std::optional<long long> parseInteger(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    const size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const bool hex = text.compare(sign, 2, "0x") == 0 || text.compare(sign, 2, "0X") == 0;
    const char* first = text.data() + sign + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    unsigned long long magnitude = 0;
    const auto [end, error] = std::from_chars(first, last, magnitude, hex ? 16 : 10);
    if (first == last || end != last || error != std::errc() ||
        magnitude > static_cast<unsigned long long>(LLONG_MAX) + (negative ? 1 : 0))
        return std::nullopt;
    return negative ? static_cast<long long>(0ULL - magnitude) : static_cast<long long>(magnitude);
}

std::optional<double> parseReal(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) || errno == ERANGE ||
        *end != '\0')
        return std::nullopt;
    return value;
}

bool isGpioName(const std::string& name) {
    for (const int pin : {kPinXreset, kPinMclkEnable, kPinTriggerIn})
        if (name == gpioNameOfPin(static_cast<unsigned int>(pin)))
            return true;
    return false;
}

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

// Two words, "A,B".
std::array<uint32_t, 2> wordPair(const std::string& setting, const std::string& text,
                                 const char* form) {
    const std::string::size_type comma = text.find(',');
    if (comma == std::string::npos)
        refuse(setting, std::string("expected ") + form);
    return {word(setting, text.substr(0, comma)), word(setting, text.substr(comma + 1))};
}

// A lock delay on the head's clock: N polls of the plug-in's 100 ms, Nus microseconds, or
// "never" for a lock that does not come.
std::optional<Micros> delay(const std::string& setting, const std::string& text) {
    if (text == "never")
        return std::nullopt;
    const std::string::size_type digits = text.size() - 2;
    if (text.size() > 2 && text.compare(digits, 2, "us") == 0)
        return Micros(integerIn(setting, text.substr(0, digits), 0, 1000000000000LL));
    return Micros(integerIn(setting, text, 0, 1000000) * 100000);
}

void expect(const std::string& setting, const std::string& value, const char* only) {
    if (value != only)
        refuse(setting, std::string("the only value is ") + only);
}

void apply(HeadConfig& config, const std::string& setting) {
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
        if (!isGpioName(key.substr(5)))
            refuse(setting, "the head has no line " + key.substr(5) +
                                " (lines: XRESET, MCLK_ENABLE, TRIGGER_IN)");
        expect(setting, value, "absent");
        config.absentGpios.insert(key.substr(5));
    } else if (key == "pll") {
        config.pllLockDelay = delay(setting, value);
    } else if (key == "align") {
        config.alignDelay = delay(setting, value);
    } else if (key == "dpa") {
        // MASK, or MASK@POLLS: the locked lanes grow to MASK over that many DPA polls.
        const std::string::size_type at = value.find('@');
        config.dpaLockMask = word(setting, value.substr(0, at));
        if (at != std::string::npos)
            config.dpaLockPolls =
                static_cast<int>(integerIn(setting, value.substr(at + 1), 0, 200));
    } else if (key == "adc") {
        expect(setting, value, "absent");
        config.adcAbsent = true;
    } else if (key == "invert") {
        config.laneInversion = word(setting, value) & 0x0FFFFFFF;
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
        config.sysId = wordPair(setting, value, "W0,W1");
    } else if (key == "rxcore") {
        const std::array<uint32_t, 2> core = wordPair(setting, value, "ID,REV");
        config.coreId = core[0];
        config.coreRev = core[1];
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
            config.registerFileMode = RegisterFileMode::direct;
        else if (value == "locked")
            config.registerFileMode = RegisterFileMode::locked;
        else if (value == "thread")
            config.registerFileMode = RegisterFileMode::thread;
        else if (value == "strict-lock")
            config.registerFileMode = RegisterFileMode::strictLock;
        else
            refuse(setting, "expected direct, locked, thread or strict-lock");
    } else {
        refuse(setting, "unknown key " + key);
    }
}

} // namespace headkeys

HeadConfig headConfigFromKeys(const std::vector<std::string>& settings) {
    using namespace headkeys;
    HeadConfig config;
    std::set<std::string> keys;
    for (const std::string& setting : settings) {
        if (!keys.insert(setting.substr(0, setting.find('='))).second)
            refuse(setting, "given twice; keep one");
        apply(config, setting);
    }
    return config;
}

} // namespace sim
