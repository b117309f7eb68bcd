// camhost: a stand-in camera framework on a PC. Loads the plug-in as the framework does,
// puts it on the simulated head and runs a script against the board.
#include "Options.h"
#include "PluginLibrary.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    camhost::tsOptions options;
    if (auto status = camhost::parseOptions(argc, argv, options))
        return *status;
    try {
        camhost::tcPluginLibrary library(options.plugin);
        std::cout << "sensorType: " << library.sensorType() << std::endl;
        auto board = library.makeSensor(options.spi);
        board.reset();
    } catch (const camhost::tcPluginError& error) {
        std::cerr << "camhost: " << error.what() << std::endl;
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "camhost: exception from the plug-in: " << error.what() << std::endl;
        return 1;
    }
    return 0;
}
