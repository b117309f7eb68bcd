#include "ConfigCheck.h"

#include <filesystem>
#include <system_error>

namespace camhost {
namespace {

const std::vector<std::string>& configFiles() {
    static const std::vector<std::string> names{"120mxs_config.ini", "120mxs_sensor.ini",
                                                "120MXS_registers.txt", "bad_pixel_map.txt",
                                                "version"};
    return names;
}

} // namespace

std::vector<std::string> missingConfigFiles(const std::string& dir) {
    std::vector<std::string> missing;
    for (const std::string& name : configFiles()) {
        std::error_code error;
        if (!std::filesystem::exists(std::filesystem::path(dir) / name, error))
            missing.push_back(name);
    }
    return missing;
}

size_t configFileCount() {
    return configFiles().size();
}

} // namespace camhost
