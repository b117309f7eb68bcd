// Any bytes as "120MXS_registers.txt", played by SensorInitRegisters on a fresh sensor.
// An oracle written apart from the loader reads the same bytes line by line; the chip
// must receive exactly the writes of the lines before the first bad one, in order and
// after the pauses before them, the shadow must hold what was written, and a bad line
// must be reported with its number and text and end the load with an exception.
#include "FuzzSupport.h"
#include "RegisterFileOracle.h"
#include "sensor/tc120MXS.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using fuzzsupport::InputScope;

using registerfileoracle::Expected;
using registerfileoracle::Write;

constexpr long long kClockSettleUs = 10; // master clock enable to the first line

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const Expected expected = registerfileoracle::oracle(bytes);

    InputScope scope;
    scope.writeFile("120MXS_registers.txt", bytes);
    tc120MXS sensor(fuzzsupport::kSpiPath);

    const auto before = sim::Clock::now();
    bool thrown = false;
    try {
        sensor.SensorInitRegisters();
    } catch (const std::exception&) {
        thrown = true;
    }
    const auto elapsed = (sim::Clock::now() - before).count();

    // Exactly the writes of the lines before the first bad one.
    const auto frames = scope.head().spiFrames();
    FUZZ_CHECK(frames.size() == expected.writes.size(),
               frames.size() << " SPI frames for " << expected.writes.size() << " good writes");
    // The load's own waits are its time less the time its writes kept the bus.
    long long bus = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const Write& w = expected.writes[i];
        FUZZ_CHECK(frames[i].wellFormed, "frame " << i);
        FUZZ_CHECK(frames[i].reg == (w.reg & 0x7FFu) && frames[i].value == (w.value & 0x0FFFFFFFu),
                   std::hex << "frame " << i << " 0x" << frames[i].reg << "=0x" << frames[i].value
                            << ", file wrote 0x" << w.reg << "=0x" << w.value);
        const long long at = (frames[i].time - frames[0].time).count() - bus;
        FUZZ_CHECK(at == w.pausedBefore - expected.writes[0].pausedBefore,
                   "frame " << i << " sent " << at << " us after the first, bus time apart");
        bus += (frames[i].released - frames[i].time).count();
    }
    FUZZ_CHECK(elapsed - bus == kClockSettleUs + expected.pauses,
               "load took " << elapsed << " us, pauses " << expected.pauses);

    // The shadow holds the last value written to each (16-bit) register number.
    std::map<uint16_t, uint32_t> last;
    for (const Write& w : expected.writes)
        last[w.reg] = w.value;
    for (const auto& [reg, value] : last) {
        unsigned shadow = 0;
        FUZZ_CHECK(sensor.readShadowRegister(reg, shadow) == 0 && shadow == value,
                   std::hex << "shadow of 0x" << reg << " is 0x" << shadow << ", wrote 0x"
                            << value);
    }

    const std::string errors = scope.err();
    const std::string done = "void tc120MXS::SensorInitRegisters(): Done!\n";
    if (expected.badLine) {
        FUZZ_CHECK(thrown, "no exception for bad line " << *expected.badLine);
        const std::string report = "\nError writing registers: 120MXS_registers.txt " +
                                   std::to_string(*expected.badLine) + ": " + expected.badText +
                                   "\neof: ";
        const size_t at = errors.find(report);
        FUZZ_CHECK(at != std::string::npos,
                   "no report naming line " << *expected.badLine << " in: " << errors);
        const std::string flags = errors.substr(at + report.size() - 5);
        FUZZ_CHECK(flags.find(" fail: 1 ") != std::string::npos, "stream flags: " << flags);
        FUZZ_CHECK(scope.out().find(done) == std::string::npos, "Done! after a failed load");
    } else {
        FUZZ_CHECK(!thrown, "exception for a good file: " << errors);
        FUZZ_CHECK(errors.find("Error writing registers") == std::string::npos, errors);
        FUZZ_CHECK(scope.out().find(done) != std::string::npos, "no Done! line");
    }

    // The register lock is free again: another thread can write.
    std::thread writer([&sensor] { sensor.writeRegister(0x7FF, 1); });
    writer.join();
    FUZZ_CHECK(scope.head().spiFrames().size() == frames.size() + 1, "write after the load");
    return 0;
}
