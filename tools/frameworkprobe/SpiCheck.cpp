// The SPI configuration record: the plug-in fills its fields by name, the framework reads
// them by its own layout. A device's read-back shows a field the two place differently.
#include "Checks.h"
#include "Roomy.h"

#include "tcSPIDevice.h"

#include <string>

namespace frameworkprobe {
namespace {

const char* const kSpi = "tsSPIConfiguration written and read back keeps every field";

void compare(std::string& differences, const char* field, unsigned long written,
             unsigned long read) {
    if (written == read)
        return;
    if (!differences.empty())
        differences += ", ";
    differences += std::string(field) + " written " + std::to_string(written) + ", read back " +
                   std::to_string(read);
}

} // namespace

void checkSpiConfiguration(Report& report, const std::string& spiPath) {
    Roomy<tcSPIDevice> device(0xA5, spiPath);
    if (!device->isOpen()) {
        report.notCheckable(kSpi, "cannot open " + spiPath +
                                      "; name the sensor's SPI device with --spi PATH");
        return;
    }
    // The plug-in's own configuration, set as it sets it: what it read, four fields changed.
    tsSPIConfiguration written = device->getConfiguration();
    written.mode = 0;
    written.lsbFirst = 0;
    written.bitsPerWord = 8;
    written.speedHz = 4000000;
    tsSPIConfiguration given = written;
    if (!device->setConfiguration(given)) {
        report.fail(kSpi, spiPath + " refused mode 0, MSB first, 8 bits, 4 MHz",
                    "that configuration accepted");
        return;
    }
    const tsSPIConfiguration read = device->getConfiguration();
    std::string differences;
    compare(differences, "mode", written.mode, read.mode);
    compare(differences, "lsbFirst", written.lsbFirst, read.lsbFirst);
    compare(differences, "bitsPerWord", written.bitsPerWord, read.bitsPerWord);
    compare(differences, "speedHz", written.speedHz, read.speedHz);
    compare(differences, "delayUsecs", written.delayUsecs, read.delayUsecs);
    if (differences.empty())
        report.ok(kSpi, "mode 0, lsbFirst 0, bitsPerWord 8, speedHz 4000000, delayUsecs " +
                            std::to_string(read.delayUsecs) + " read back as written");
    else
        report.fail(kSpi, differences,
                    "the framework's field order (mode, lsbFirst, bitsPerWord, speedHz, "
                    "delayUsecs) in host/tcSPIDevice.h; see LayoutAsserts.cpp");
}

} // namespace frameworkprobe
