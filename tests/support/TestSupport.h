#pragma once
// Shared test fixture: a fresh simulated head on the virtual clock, and a scratch working
// directory for the configuration files the plug-in reads by relative name. At its end
// the head's violation log must hold exactly the rules the test declared it provokes.
#include "sim/SimHead.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

namespace testsupport {

class HeadTest : public ::testing::Test {
protected:
    // Resets the head with config (virtual clock on) and enters a new empty directory.
    void SetUp() override;
    void TearDown() override;
    void resetHead(const sim::HeadConfig& config);
    // resetHead with the default set-up changed by change.
    void resetHeadWith(const std::function<void(sim::HeadConfig&)>& change);
    // A healthy head whose register file delivers its notifications the given way.
    void resetHeadWithRegisterFile(sim::RegisterFileMode mode);

    // Writes a file relative to the scratch directory (sub-folders are created).
    void writeFile(const std::string& relativePath, const std::string& content);
    // Copies a file of the sample configuration (config/) into the scratch directory.
    void copySampleConfig(const std::string& name);
    std::string scratchDir() const { return scratch; }

    sim::Head& head() { return sim::Head::instance(); }

    // Gets the sensor chip ready for SPI frames without the plug-in's power-up: port set
    // up as the chip needs, out of reset, master clock on and settled.
    void powerSensorChip();
    // Its two parts. The port: mode 0, MSB first, 8 bits, 4 MHz.
    void setUpSensorPort();
    // The lines: a full reset pulse with the clock off, the settle time after
    // the release, then the master clock on and settled.
    void bringSensorOutOfReset();

    // Declares that the test breaks this hardware rule on purpose (at least once).
    void expectViolation(const std::string& rule) { expectedRules.insert(rule); }
    // Rules logged so far, in order.
    std::vector<std::string> violatedRules();

private:
    std::string previousDir;
    std::string scratch;
    std::set<std::string> expectedRules;
};

// Sends sensor register reg = value as one 5-byte SPI frame behind the plug-in's back; true
// when the chip then holds value (bits 27..0) in reg.
bool sendSensorFrame(uint16_t reg, uint32_t value);

// Every way the register file delivers notifications, for suites run under each.
inline auto allRegisterFileModes() {
    return ::testing::Values(sim::RegisterFileMode::direct, sim::RegisterFileMode::locked,
                             sim::RegisterFileMode::thread, sim::RegisterFileMode::strictLock);
}

// True under qemu-user, which lacks the robust futex list (set_robust_list: ENOSYS).
bool robustFutexesUnavailable();

} // namespace testsupport
