// Fault campaign: every hardware fault of the simulated head, one table row each, through
// the board's own initialize(); then the board must still stop and be destroyed cleanly.
#include "plugin/BringupFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// Which configuration files the row changes from the sample set.
enum class Files {
    Sample,
    NoRegisterFile,
    TruncatedRegisterFile, // ends in the middle of a line
    BadLineRegisterFile,   // a line that does not parse
    HugeFrameInterval,     // a period the pulse generator cannot hold
    HugeExposure,          // an exposure no period the pulse generator holds can frame
    RegisterFileDirectory, // opens, but reads nothing
    RegisterFileDevZero,   // a device: one endless line
    RegisterFileLongLine,  // a line beyond 64 KiB
    NanRailLimit,          // "5V_VIN_DIV2 = nan" under Voltages_Max
};

// One row, built by name: Fault("x").onHead(...).returns(4).reports(...).
struct Fault {
    explicit Fault(const char* name_) : name(name_) {}
    Fault& onHead(std::function<void(sim::HeadConfig&)> change) {
        head = std::move(change);
        return *this;
    }
    Fault& withFiles(Files changed) {
        files = changed;
        return *this;
    }
    Fault& returns(int answer) {
        result = answer;
        return *this;
    }
    Fault& throws(std::string what) {
        result.reset();
        thrown = std::move(what);
        return *this;
    }
    Fault& reports(std::string status) {
        errorStatus = std::move(status);
        return *this;
    }
    Fault& logs(std::string text) {
        stderrText = std::move(text);
        return *this;
    }
    Fault& thenCaptures() {
        canCapture = true;
        return *this;
    }

    const char* name;
    std::function<void(sim::HeadConfig&)> head; // the hardware fault (none when empty)
    Files files = Files::Sample;
    std::optional<int> result; // initialize()'s answer; empty: it throws
    std::string thrown;        // what() of the exception when it throws
    std::string errorStatus;   // the status-4 line, or empty when none is sent
    std::string stderrText;    // a piece of the diagnostics on standard error
    bool canCapture = false;   // the sensor came up, so start()/stop() are meaningful
};

// Keeps test names readable in failure reports.
void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

void rail(sim::HeadConfig& config, int channel, float volts) {
    config.railVolts[channel] = volts;
}

std::vector<Fault> faults() {
    const char* fpgaError = "FPGA Initialization error!";
    const char* powerError = "Sensor powerup error!";
    std::vector<Fault> table{
        Fault("memoryAbsent")
            .onHead([](sim::HeadConfig& c) { c.memoryAbsent = true; })
            .returns(31)
            .reports(fpgaError)
            .logs("/dev/mem: "),
        Fault("pwmDown")
            .onHead([](sim::HeadConfig& c) { c.pwmDown = true; })
            .returns(4)
            .reports(fpgaError),
        Fault("pixelShiftDown")
            .onHead([](sim::HeadConfig& c) { c.pixelShiftDown = true; })
            .returns(8)
            .reports(fpgaError),
        Fault("badPixelDown")
            .onHead([](sim::HeadConfig& c) { c.badPixelDown = true; })
            .returns(16)
            .reports(fpgaError),
        Fault("spiClosed")
            .onHead([](sim::HeadConfig& c) { c.spiClosed = true; })
            .throws("Failed to open spidev"),
        Fault("spiRefuseConfig")
            .onHead([](sim::HeadConfig& c) { c.spiRefuseConfig = true; })
            .returns(1)
            .reports(powerError),
        Fault("pllNeverLocks")
            .onHead([](sim::HeadConfig& c) { c.pllLockDelay = std::nullopt; })
            .returns(-1)
            .logs("PLL failed to lock")
            .thenCaptures(),
        Fault("dpaLane0NeverLocks")
            .onHead([](sim::HeadConfig& c) { c.dpaLockMask = 0x0FFFFFFE; })
            .returns(-2)
            .logs("DPA failed to lock")
            .thenCaptures(),
        Fault("neverAligned")
            .onHead([](sim::HeadConfig& c) { c.alignDelay = std::nullopt; })
            .returns(-1)
            .logs("Not Aligned")
            .thenCaptures(),
        Fault("pwmPeriodThrows")
            .withFiles(Files::HugeFrameInterval)
            .returns(0)
            .reports("tcPwm::setPeriodTime: 99999640 us is 4499983800.000000 ticks, more than "
                     "the 32-bit counter holds")
            .thenCaptures(),
        Fault("exposureBeyondPwm")
            .withFiles(Files::HugeExposure)
            .returns(0)
            .reports("tcPwm::setPeriodTime: 2147483520 us is 96636758400.000000 ticks, more "
                     "than the 32-bit counter holds")
            .thenCaptures(),
        Fault("gpioXresetAbsent")
            .onHead([](sim::HeadConfig& c) { c.absentGpios = {"XRESET"}; })
            .returns(tc120MXS::kPowerUpMissingGpio)
            .reports(powerError)
            .logs("GPIO XRESET not found in DT"),
        Fault("gpioMclkEnableAbsent")
            .onHead([](sim::HeadConfig& c) { c.absentGpios = {"MCLK_ENABLE"}; })
            .returns(tc120MXS::kPowerUpMissingGpio)
            .reports(powerError)
            .logs("GPIO MCLK_ENABLE not found in DT"),
        Fault("registerFileMissing")
            .withFiles(Files::NoRegisterFile)
            .throws("Failed to open 120MXS_registers.txt")
            .logs("cannot open 120MXS_registers.txt, no register written"),
        Fault("registerFileTruncated")
            .withFiles(Files::TruncatedRegisterFile)
            .throws("std::exception")
            .logs("Error writing registers: 120MXS_registers.txt 5: 4\n"),
        Fault("registerFileBadLine")
            .withFiles(Files::BadLineRegisterFile)
            .throws("std::exception")
            .logs("Error writing registers: 120MXS_registers.txt 4: zz 12\neof: 0 good: 0 "
                  "fail: 1"),
        Fault("registerFileDirectory")
            .withFiles(Files::RegisterFileDirectory)
            .throws("std::exception")
            .logs("Error writing registers: 120MXS_registers.txt: not a regular file\n"),
        Fault("registerFileDevZero")
            .withFiles(Files::RegisterFileDevZero)
            .throws("std::exception")
            .logs("Error writing registers: 120MXS_registers.txt: not a regular file\n"),
        Fault("registerFileLongLine")
            .withFiles(Files::RegisterFileLongLine)
            .throws("std::exception")
            .logs("Error writing registers: 120MXS_registers.txt 3: line longer than 65536 "
                  "characters\n"),
        Fault("nanRailLimit")
            .onHead([](sim::HeadConfig& c) { rail(c, 0, 9.5f); })
            .withFiles(Files::NanRailLimit)
            .returns(-4)
            .reports(powerError)
            .logs("Voltages_Max 5V_VIN_DIV2 = nan is not a finite limit, default 2.625 V used\n"),
    };
    // Per channel: just above its maximum and just below its minimum.
    const float high[8] = {2.70f, 2.05f, 1.85f, 1.85f, 1.80f, 1.85f, 1.85f, 2.70f};
    const float low[8] = {2.20f, 1.75f, 1.65f, 1.55f, 1.50f, 1.65f, 1.55f, 2.30f};
    static const char* highNames[8] = {"rail0High", "rail1High", "rail2High", "rail3High",
                                       "rail4High", "rail5High", "rail6High", "rail7High"};
    static const char* lowNames[8] = {"rail0Low", "rail1Low", "rail2Low", "rail3Low",
                                      "rail4Low", "rail5Low", "rail6Low", "rail7Low"};
    for (int channel = 0; channel < 8; ++channel) {
        const float h = high[channel], l = low[channel];
        table.push_back(Fault(highNames[channel])
                            .onHead([=](sim::HeadConfig& c) { rail(c, channel, h); })
                            .returns(-4)
                            .reports(powerError));
        table.push_back(Fault(lowNames[channel])
                            .onHead([=](sim::HeadConfig& c) { rail(c, channel, l); })
                            .returns(-4)
                            .reports(powerError));
    }
    return table;
}

class FaultCampaignTest : public bringup::BringupTest, public ::testing::WithParamInterface<Fault> {
protected:
    void prepareFiles(Files files) {
        copyAllSampleFiles();
        switch (files) {
        case Files::Sample:
            break;
        case Files::NoRegisterFile:
            std::remove("120MXS_registers.txt");
            break;
        case Files::TruncatedRegisterFile:
            // Cut after the register number of the readout-rows line.
            writeFile("120MXS_registers.txt", "# start\n400 3E8\n0 F9C00\n3 0\n4");
            break;
        case Files::BadLineRegisterFile:
            writeFile("120MXS_registers.txt", "# start\n400 3E8\n0 F9C00\nzz 12\n3 0\n");
            break;
        case Files::HugeFrameInterval:
            writeFile("120mxs_config.ini", "[Settings]\nFrameInterval = 100000000\n");
            break;
        case Files::HugeExposure:
            writeFile("120mxs_config.ini", "[Settings]\nExposureTime = 2147483647\n");
            break;
        case Files::RegisterFileDirectory:
            std::filesystem::remove("120MXS_registers.txt");
            std::filesystem::create_directory("120MXS_registers.txt");
            break;
        case Files::RegisterFileDevZero:
            std::filesystem::remove("120MXS_registers.txt");
            std::filesystem::create_symlink("/dev/zero", "120MXS_registers.txt");
            break;
        case Files::RegisterFileLongLine:
            writeFile("120MXS_registers.txt",
                      "# start\n400 3E8\n0 F9C00" + std::string(70000, ' ') + "\n3 0\n");
            break;
        case Files::NanRailLimit:
            writeFile("120mxs_sensor.ini", "[Voltages_Max]\n5V_VIN_DIV2 = nan\n");
            break;
        }
    }

    std::vector<std::string> errorStatuses() const {
        std::vector<std::string> texts;
        for (const sim::StatusLine& line : head().statusLines())
            if (line.status == 4)
                texts.push_back(line.text);
        return texts;
    }

    // After any fault: stop() succeeds and leaves the PWM off and the frame state 0.
    void expectStops() {
        EXPECT_EQ(board->stop(), 0);
        EXPECT_FALSE(board->isCapturing());
        EXPECT_FALSE(head().pwm().enabled);
        EXPECT_EQ(chipFrameState(), 0u);
    }

    sim::Head& head() const { return sim::Head::instance(); }
};

TEST_P(FaultCampaignTest, ReportsTheFaultAndStaysStoppable) {
    // Fault: a hardware fault reported as success, a wrong or missing report, a crash in
    // initialize(), stop() or the destructor, or a board that cannot capture afterwards.
    const Fault& fault = GetParam();
    sim::HeadConfig config;
    if (fault.head)
        fault.head(config);
    resetHead(config);
    prepareFiles(fault.files);
    // No hardware rule is expected broken, by the bring-up or by the stop() after it: a
    // sensor that was not powered up and cores that never reported themselves usable are
    // left alone.

    testing::internal::CaptureStderr();
    makeBoard();
    std::optional<int> result;
    std::string thrown;
    try {
        result = board->initialize();
    } catch (const std::exception& e) {
        thrown = e.what();
    }
    const std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(result, fault.result);
    EXPECT_EQ(thrown, fault.thrown);
    const std::vector<std::string> errors = errorStatuses();
    if (fault.errorStatus.empty()) {
        EXPECT_TRUE(errors.empty()) << errors.front();
    } else {
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors.front(), fault.errorStatus);
    }
    EXPECT_NE(err.find(fault.stderrText), std::string::npos) << err;
    // Bring-up got past the FPGA check exactly when no core was reported unusable.
    EXPECT_EQ(hasStatus("FPGA Initialization done"),
              fault.errorStatus != "FPGA Initialization error!");
    // The sensor's progress lines may leave a line open.
    std::cout << "\nfault: " << fault.name << " | result "
              << (result ? std::to_string(*result) : "throws " + thrown)
              << " | status 4: " << (errors.empty() ? "-" : errors.front()) << std::endl;

    head().clearStatusLines();
    expectStops();
    if (result == -1 || result == -2) {
        // The sensor runs but the receiver takes no frames: capture is refused, not
        // reported running.
        testing::internal::CaptureStdout();
        EXPECT_EQ(board->start(), 6);
        EXPECT_NE(testing::internal::GetCapturedStdout().find(
                      "Error starting capture (failed to get all channels synced)"),
                  std::string::npos);
        EXPECT_FALSE(board->isCapturing());
    } else if (fault.canCapture) {
        EXPECT_EQ(board->start(), 0);
        EXPECT_TRUE(board->isCapturing());
        EXPECT_TRUE(hasStatus("Starting capture..."));
        expectStops();
        EXPECT_TRUE(hasStatus("Ending capture..."));
    }
    board.reset();
}

TEST_F(FaultCampaignTest, RefusedPwmPeriodLeavesAHoldablePeriod) {
    // Fault: after the pulse generator refused the configured interval or the interval an
    // exposure needs, the board keeps an interval the PWM never received, so frames are
    // paced at another rate than reported and stop() sleeps for the refused period.
    copyAllSampleFiles();
    struct Case {
        const char* settings;
        int interval, exposure;
    };
    for (const Case& c : {Case{"FrameInterval = 100000000", 106520, 80000},
                          Case{"ExposureTime = 2147483647", 106600, 106600}}) {
        SCOPED_TRACE(c.settings);
        writeFile("120mxs_config.ini", std::string("[Settings]\n") + c.settings + "\n");
        makeBoard();
        ASSERT_EQ(board->initialize(), 0);
        EXPECT_EQ(board->getFrameInterval(), c.interval);
        EXPECT_EQ(head().pwm().periodUs, c.interval);
        EXPECT_EQ(word(0x3A000), uint32_t(c.interval));
        EXPECT_EQ(board->getExposure(), c.exposure);
        const sim::Micros before = sim::Clock::now();
        const size_t sent = head().spiFrames().size();
        EXPECT_EQ(board->stop(), 0);
        // stop() sleeps one period besides the time its writes keep the bus.
        EXPECT_EQ((sim::Clock::now() - before - sim::busTime(head().spiFrames(), sent)).count(),
                  c.interval);
        board.reset();
    }
}

TEST_F(FaultCampaignTest, ALineBadAfterGoodOnesStopsTheLoadThere) {
    // Fault: the loader writes on past a line it could not parse, or loses the lines before.
    copyAllSampleFiles();
    writeFile("120MXS_registers.txt", "# start\n0 F9C00\nzz 12\n3 5\n");
    makeBoard();
    testing::internal::CaptureStderr();
    EXPECT_THROW(board->initialize(), std::exception);
    testing::internal::GetCapturedStderr();
    const auto chip = head().chipRegisters();
    ASSERT_EQ(chip.count(0x00), 1u);
    EXPECT_EQ(chip.at(0x00), 0xF9C00u);
    EXPECT_EQ(chip.count(0x03), 0u) << "a write after the bad line reached the chip";
    expectStops();
}

TEST_F(FaultCampaignTest, VersionFilesThatAreNotTextDoNotHoldTheBoard) {
    // Fault: getVersion opens a FIFO in version/ and blocks (holding the board mutex, so
    // stop and the timing setters block too), reads a link to /dev/zero without end, or
    // keeps a first line of any length.
    copyAllSampleFiles();
    makeBoard();
    ASSERT_EQ(board->initialize(), 0);      // a running head: the setters below reach hardware
    std::filesystem::remove_all("version"); // the sample files, replaced below
    ASSERT_EQ(mkdir("version", 0755), 0);
    ASSERT_EQ(mkfifo("version/cam_part.txt", 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", "version/serial.txt"), 0);
    ASSERT_EQ(mkdir("version/sensor_part.txt", 0755), 0);
    writeFile("version/sensor_serial.txt", std::string(10000, 'a')); // no line end
    writeFile("version/sensor_board_rev.txt", "B2\nsecond line\n");

    std::promise<std::string> text;
    std::future<std::string> version = text.get_future();
    std::thread reader([&] { text.set_value(board->getVersion()); });
    const bool answered = version.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!answered) {
        std::remove("version/serial.txt"); // not the endless file next
        const int writer = open("version/cam_part.txt", O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            close(writer); // end of file for the blocked reader
    }
    reader.join();
    ASSERT_TRUE(answered) << "getVersion blocked on a FIFO";
    // FIFO, link to a device and directory unread; the long line cut at 4 KiB.
    const std::string expected =
        "\"???\" \"???\" \"???\" \"" + std::string(4096, 'a') + "\" \"B2\" \"???\" ";
    EXPECT_EQ(version.get().rfind(expected, 0), 0u) << "the version text starts otherwise";
    EXPECT_EQ(board->setExposure(30000), 0);
    expectStops();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultCampaignTest, ::testing::ValuesIn(faults()),
                         [](const ::testing::TestParamInfo<Fault>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
