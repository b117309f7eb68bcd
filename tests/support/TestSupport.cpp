#include "support/TestSupport.h"

#include "Tarnis/tcGpio.h"
#include "tcSPIDevice.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

void HeadTest::SetUp() {
    resetHead(sim::HeadConfig{});
    previousDir = fs::current_path().string();
    std::string pattern = (fs::temp_directory_path() / "tc120mxs-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    scratch = pattern;
    fs::current_path(scratch);
}

void HeadTest::TearDown() {
    std::set<std::string> seen;
    for (const sim::Violation& violation : head().violations()) {
        seen.insert(violation.rule);
        EXPECT_EQ(expectedRules.count(violation.rule), 1u)
            << "hardware rule broken: " << violation.rule << " at " << violation.time.count()
            << " us: " << violation.reason;
    }
    for (const std::string& rule : expectedRules)
        EXPECT_EQ(seen.count(rule), 1u) << "the test should have broken the rule " << rule;
    if (!previousDir.empty())
        fs::current_path(previousDir);
    std::error_code ignored;
    if (!scratch.empty())
        fs::remove_all(scratch, ignored);
}

void HeadTest::resetHead(const sim::HeadConfig& config) {
    sim::Clock::useVirtualTime(true);
    sim::Head::instance().reset(config);
}

void HeadTest::resetHeadWith(const std::function<void(sim::HeadConfig&)>& change) {
    sim::HeadConfig config;
    change(config);
    resetHead(config);
}

void HeadTest::resetHeadWithRegisterFile(sim::RegisterFileMode mode) {
    resetHeadWith([mode](sim::HeadConfig& c) { c.registerFileMode = mode; });
}

void HeadTest::writeFile(const std::string& relativePath, const std::string& content) {
    fs::path path = fs::path(scratch) / relativePath;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

void HeadTest::copySampleConfig(const std::string& name) {
    fs::path from = fs::path(TC120MXS_SOURCE_DIR) / "config" / name;
    fs::path to = fs::path(scratch) / name;
    fs::create_directories(to.parent_path());
    fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void HeadTest::powerSensorChip() {
    setUpSensorPort();
    bringSensorOutOfReset();
}

void HeadTest::setUpSensorPort() {
    tcSPIDevice port("/dev/spidev1.0");
    tsSPIConfiguration configuration = port.getConfiguration();
    configuration.mode = 0;
    configuration.lsbFirst = 0;
    configuration.bitsPerWord = 8;
    configuration.speedHz = 4000000;
    ASSERT_TRUE(port.setConfiguration(configuration));
}

void HeadTest::bringSensorOutOfReset() {
    Tarnis::tcGpioSingle reset(static_cast<unsigned int>(head().gpioPin("XRESET")));
    Tarnis::tcGpioSingle clock(static_cast<unsigned int>(head().gpioPin("MCLK_ENABLE")));
    ASSERT_EQ(clock.SetDirection(1, 0), 0);
    ASSERT_EQ(reset.SetDirection(1, 0), 0);
    sim::Clock::sleepFor(sim::Micros(300000));
    ASSERT_EQ(reset.SetValue(1), 0);
    sim::Clock::sleepFor(sim::Micros(10000));
    ASSERT_EQ(clock.SetValue(1), 0);
    sim::Clock::sleepFor(sim::Micros(10));
}

bool sendSensorFrame(uint16_t reg, uint32_t value) {
    tcSPIDevice spi("/dev/spidev1.0");
    const unsigned char bytes[5] = {
        static_cast<unsigned char>(0x80 | ((reg >> 4) & 0x7F)),
        static_cast<unsigned char>(((reg & 0xF) << 4) | ((value >> 24) & 0xF)),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value)};
    spi.write(bytes, 5);
    const auto chip = sim::Head::instance().chipRegisters();
    const auto found = chip.find(reg & 0x7FF);
    return found != chip.end() && found->second == (value & 0x0FFFFFFF);
}

std::vector<std::string> HeadTest::violatedRules() {
    std::vector<std::string> rules;
    for (const sim::Violation& violation : head().violations())
        rules.push_back(violation.rule);
    return rules;
}

bool robustFutexesUnavailable() {
    void* head = nullptr;
    size_t length = 0;
    return syscall(SYS_get_robust_list, 0, &head, &length) != 0 && errno == ENOSYS;
}

} // namespace testsupport
