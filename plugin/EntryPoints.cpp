// The two unmangled entry points the camera framework looks up by name.
#include "plugin/RecordedBoard.h"

#include <stdexcept>
#include <string>

#define TC120MXS_EXPORT extern "C" __attribute__((visibility("default")))

// The framework's type code for this sensor board.
TC120MXS_EXPORT int sensorType() { return 8; }

// path names the SPI device of the sensor. Ownership of the board passes to the caller,
// which deletes it through the virtual destructor.
TC120MXS_EXPORT Vistrel::tcSensorBoard* makeSensor(const char* path) {
    if (path == nullptr)
        throw std::logic_error("makeSensor: null SPI device path");
    return Vistrel::makeBoard(std::string(path));
}
