// Any bytes as the text of "120MXS_registers.txt", read from memory by the loader's own
// line reader: no sensor, no head, no file. The same oracle as register_file's says which
// pairs and pauses come out, in order, and which line must be reported and throw.
#include "RegisterFileOracle.h"
#include "sensor/RegisterFileLines.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>

namespace {

[[noreturn]] void fail(const std::string& message, const std::string& errors) {
    std::fprintf(stderr, "register_file_text: %s\n---- error stream ----\n%s\n", message.c_str(),
                 errors.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace registerfileoracle;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const Expected expected = oracle(bytes);

    std::ostringstream errors;
    std::streambuf* const previous = std::cerr.rdbuf(errors.rdbuf());
    std::istringstream text(bytes);
    size_t next = 0;
    long long pauses = 0;
    bool thrown = false;
    std::string mismatch;
    try {
        registerfile::play(text, "120MXS_registers.txt",
                           [&](unsigned int, unsigned short reg, unsigned int value) {
                               if (reg == kPauseRegister) {
                                   pauses += value;
                                   return;
                               }
                               const bool same = next < expected.writes.size() &&
                                                 expected.writes[next].reg == reg &&
                                                 expected.writes[next].value == value &&
                                                 expected.writes[next].pausedBefore == pauses;
                               if (!same && mismatch.empty())
                                   mismatch = "pair " + std::to_string(next) + " differs";
                               ++next;
                           });
    } catch (const std::exception&) {
        thrown = true;
    }
    std::cerr.rdbuf(previous);

    if (!mismatch.empty())
        fail(mismatch, errors.str());
    if (next != expected.writes.size())
        fail(std::to_string(next) + " pairs for " + std::to_string(expected.writes.size()),
             errors.str());
    if (thrown != expected.badLine.has_value())
        fail(thrown ? "a good text threw" : "no exception for a bad line", errors.str());
    if (expected.badLine) {
        const std::string report = "\nError writing registers: 120MXS_registers.txt " +
                                   std::to_string(*expected.badLine) + ": " + expected.badText +
                                   "\neof: ";
        if (errors.str().find(report) == std::string::npos)
            fail("no report naming line " + std::to_string(*expected.badLine), errors.str());
    } else if (pauses != expected.pauses) {
        fail("pauses " + std::to_string(pauses) + ", expected " + std::to_string(expected.pauses),
             errors.str());
    }
    return 0;
}
