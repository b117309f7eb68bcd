#pragma once
// The plug-in module, loaded the way the camera framework loads it: dlopen, then the two
// unmangled entry points looked up by name.
#include "Vistrel/tcSensorBoard.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace camhost {

// The module cannot be loaded or lacks an entry point.
class tcPluginError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An exception that left the plug-in (with its text), as opposed to one of camhost's own.
class tcPluginFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class tcPluginLibrary {
public:
    // Throws tcPluginError with the loader's message.
    explicit tcPluginLibrary(const std::string& path);
    ~tcPluginLibrary();
    tcPluginLibrary(const tcPluginLibrary&) = delete;
    tcPluginLibrary& operator=(const tcPluginLibrary&) = delete;

    const std::string& path() const { return modulePath; }
    // These two pass the plug-in's exceptions on as tcPluginFailure.
    int sensorType() const;
    // The board, owned by the caller: it must be deleted before the library is closed.
    std::unique_ptr<Vistrel::tcSensorBoard> makeSensor(const std::string& spiPath) const;

private:
    using tfSensorType = int (*)();
    using tfMakeSensor = Vistrel::tcSensorBoard* (*)(const char*);

    void* symbol(const char* name) const;

    std::string modulePath;
    void* handle = nullptr;
    tfSensorType sensorTypeEntry = nullptr;
    tfMakeSensor makeSensorEntry = nullptr;
};

} // namespace camhost
