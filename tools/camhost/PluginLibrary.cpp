#include "PluginLibrary.h"

#include <dlfcn.h>

namespace camhost {

tcPluginLibrary::tcPluginLibrary(const std::string& path) : modulePath(path) {
    dlerror();
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        throw tcPluginError("cannot load plug-in " + path + ": " + (why ? why : "unknown error"));
    }
    try {
        sensorTypeEntry = reinterpret_cast<tfSensorType>(symbol("sensorType"));
        makeSensorEntry = reinterpret_cast<tfMakeSensor>(symbol("makeSensor"));
    } catch (...) {
        dlclose(handle);
        throw;
    }
}

tcPluginLibrary::~tcPluginLibrary() {
    dlclose(handle);
}

void* tcPluginLibrary::symbol(const char* name) const {
    dlerror();
    void* address = dlsym(handle, name);
    const char* why = dlerror();
    if (address == nullptr || why != nullptr)
        throw tcPluginError("plug-in " + modulePath + " has no entry point " + name + ": " +
                            (why ? why : "null symbol"));
    return address;
}

namespace {

template <typename tfCall> auto pluginCall(tfCall call) -> decltype(call()) {
    try {
        return call();
    } catch (const std::exception& error) {
        throw tcPluginFailure(error.what());
    } catch (...) {
        throw tcPluginFailure("unknown exception");
    }
}

} // namespace

int tcPluginLibrary::sensorType() const {
    return pluginCall([this] { return sensorTypeEntry(); });
}

std::unique_ptr<Vistrel::tcSensorBoard>
tcPluginLibrary::makeSensor(const std::string& spiPath) const {
    return std::unique_ptr<Vistrel::tcSensorBoard>(
        pluginCall([&] { return makeSensorEntry(spiPath.c_str()); }));
}

} // namespace camhost
