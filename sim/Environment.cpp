#include "sim/Environment.h"

#include "sim/HeadKeys.h"
#include "sim/SimHead.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {
namespace detail {
namespace {

// The variable's value, or null when it is unset or empty.
const char* setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

void refuse(const char* name, const char* value, const char* expected) {
    std::cerr << "camsim: " << name << "=" << value << " ignored: expected " << expected
              << std::endl;
}

} // namespace

void applyEnvironment(Head& head) {
    if (const char* clock = setting("CAMSIM_CLOCK")) {
        if (std::strcmp(clock, "virtual") == 0 || std::strcmp(clock, "real") == 0)
            Clock::useVirtualTime(std::strcmp(clock, "virtual") == 0);
        else
            refuse("CAMSIM_CLOCK", clock, "virtual or real");
    }
    HeadConfig config;
    if (const char* keys = setting("CAMSIM_SIM")) {
        std::vector<std::string> settings;
        std::istringstream words(keys);
        for (std::string word; words >> word;)
            settings.push_back(word);
        try {
            config = headConfigFromKeys(settings);
        } catch (const std::invalid_argument& error) {
            std::cerr << "camsim: CAMSIM_SIM ignored: " << error.what() << std::endl;
        }
    }
    if (const char* mode = setting("CAMSIM_REGFILE")) {
        if (std::strcmp(mode, "direct") == 0)
            config.registerFileMode = RegisterFileMode::direct;
        else if (std::strcmp(mode, "locked") == 0)
            config.registerFileMode = RegisterFileMode::locked;
        else if (std::strcmp(mode, "thread") == 0)
            config.registerFileMode = RegisterFileMode::thread;
        else if (std::strcmp(mode, "strict-lock") == 0)
            config.registerFileMode = RegisterFileMode::strictLock;
        else
            refuse("CAMSIM_REGFILE", mode, "direct, locked, thread or strict-lock");
    }
    try {
        head.reset(config);
    } catch (const std::exception& error) {
        // The plug-in then finds no memory device and reports it.
        std::cerr << "camsim: " << error.what() << std::endl;
    }
}

} // namespace detail
} // namespace sim
