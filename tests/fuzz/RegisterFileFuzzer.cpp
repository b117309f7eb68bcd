// Any bytes as "120MXS_registers.txt", played by SensorInitRegisters on a fresh sensor.
// An oracle written apart from the loader reads the same bytes line by line; the chip
// must receive exactly the writes of the lines before the first bad one, in order and
// after the pauses before them, the shadow must hold what was written, and a bad line
// must be reported with its number and text and end the load with an exception.
#include "FuzzSupport.h"
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

constexpr uint32_t kPauseRegister = 0x400;
constexpr long long kClockSettleUs = 10; // master clock enable to the first line

struct Write {
    uint16_t reg;
    uint32_t value;
    long long pausedBefore; // µs of pauses played before this write
};

struct Expected {
    std::vector<Write> writes;
    long long pauses = 0;
    std::optional<unsigned> badLine; // number of the first line that fails
    std::string badText;             // its text as the report shows it
};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One unsigned hexadecimal number at line[pos] after optional white space, with an
// optional 0x prefix; nullopt when there is none or it exceeds limit.
std::optional<uint32_t> number(const std::string& line, size_t& pos, uint32_t limit) {
    while (pos < line.size() && isSpace(line[pos]))
        ++pos;
    if (pos + 1 < line.size() && line[pos] == '0' && (line[pos + 1] == 'x' || line[pos + 1] == 'X'))
        pos += 2;
    uint64_t value = 0;
    size_t digits = 0;
    while (pos < line.size() && hexDigit(line[pos]) >= 0) {
        value = value * 16 + static_cast<uint64_t>(hexDigit(line[pos]));
        if (value > limit)
            return std::nullopt;
        ++pos;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

Expected oracle(const std::string& bytes) {
    Expected expected;
    size_t start = 0;
    for (unsigned lineNumber = 1; start < bytes.size(); ++lineNumber) {
        const size_t end = bytes.find('\n', start);
        const std::string line =
            bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? bytes.size() : end + 1;

        bool blank = true;
        for (char c : line)
            blank = blank && isSpace(c);
        if (blank || line[0] == '#')
            continue;

        size_t pos = 0;
        const auto reg = number(line, pos, 0xFFFF);
        const auto value = reg ? number(line, pos, 0xFFFFFFFF) : std::nullopt;
        if (!reg || !value) {
            expected.badLine = lineNumber;
            expected.badText = line;
            if (!expected.badText.empty() && expected.badText.back() == '\r')
                expected.badText.pop_back();
            return expected;
        }
        if (*reg == kPauseRegister)
            expected.pauses += *value;
        else
            expected.writes.push_back({static_cast<uint16_t>(*reg), *value, expected.pauses});
    }
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const Expected expected = oracle(bytes);

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
    for (size_t i = 0; i < frames.size(); ++i) {
        const Write& w = expected.writes[i];
        FUZZ_CHECK(frames[i].wellFormed, "frame " << i);
        FUZZ_CHECK(frames[i].reg == (w.reg & 0x7FFu) && frames[i].value == (w.value & 0x0FFFFFFFu),
                   std::hex << "frame " << i << " 0x" << frames[i].reg << "=0x" << frames[i].value
                            << ", file wrote 0x" << w.reg << "=0x" << w.value);
        const long long at = (frames[i].time - frames[0].time).count();
        FUZZ_CHECK(at == w.pausedBefore - expected.writes[0].pausedBefore,
                   "frame " << i << " sent " << at << " us after the first");
    }
    FUZZ_CHECK(elapsed == kClockSettleUs + expected.pauses,
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
