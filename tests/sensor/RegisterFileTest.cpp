// The start-up register file: its format, pauses, messages and the report of a bad line.
#include "SensorFixture.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

using namespace sensortest;

namespace {

constexpr const char* kFileLine = "void tc120MXS::writeRegistersFromFile(const string&)File: ";

class RegisterFileTest : public SensorTest {
protected:
    // Plays content as file name; the captured standard output.
    std::string play(const std::string& content, const std::string& name = "regs.txt") {
        writeFile(name, content);
        CaptureStdout();
        sensor->writeRegistersFromFile(name);
        return GetCapturedStdout();
    }

    // Plays a file that must fail; the captured error stream.
    std::string playFailing(const std::string& content, const std::string& name = "regs.txt") {
        writeFile(name, content);
        CaptureStdout();
        CaptureStderr();
        bool thrown = false;
        try {
            sensor->writeRegistersFromFile(name);
        } catch (const std::exception&) {
            thrown = true;
        }
        GetCapturedStdout();
        const std::string errors = GetCapturedStderr();
        EXPECT_TRUE(thrown) << "no exception for " << content;
        return errors;
    }
};

TEST_F(RegisterFileTest, WritesAndPausesRunInFileOrder) {
    // Catches a pause that is skipped, printed or sent to the chip as register 0x400, and
    // writes sent out of order.
    const std::string out = play("# start-up\n3A A40A0\n400 3E8\n47 0\n");

    const auto sent = frames();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].reg, 0x3A);
    EXPECT_EQ(sent[0].value, 0xA40A0u);
    EXPECT_EQ(sent[1].reg, 0x47);
    EXPECT_EQ(sent[1].value, 0u);
    // The pause runs after the first write returned: the bus time is not part of it.
    EXPECT_EQ(sent[1].time - sent[0].released, std::chrono::microseconds(1000));
    EXPECT_EQ(out, std::string("\n") + kFileLine + "regs.txt\n3a: a40a0\n47: 0\n");
}

TEST_F(RegisterFileTest, LongPauseRunsOnTheClockAndPrintsNothing) {
    // Catches a pause of the wrong unit (hex read as decimal, ms instead of us).
    const std::string out = play("10 1\n400 186A0\n11 2\n");
    const auto sent = frames();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].time - sent[0].released, std::chrono::microseconds(100000));
    EXPECT_EQ(out, std::string("\n") + kFileLine + "regs.txt\n10: 1\n11: 2\n");
}

TEST_F(RegisterFileTest, EmptyOrMissingFileWritesNothing) {
    // Catches a loader that throws on an absent file or writes something for no lines.
    EXPECT_EQ(play(""), std::string("\n") + kFileLine + "regs.txt\n");
    CaptureStdout();
    EXPECT_NO_THROW(sensor->writeRegistersFromFile("absent.txt"));
    EXPECT_EQ(GetCapturedStdout(), std::string("\n") + kFileLine + "absent.txt\n");
    EXPECT_TRUE(frames().empty());
    EXPECT_EQ(shadow(0), -1);
}

TEST_F(RegisterFileTest, StartUpWithoutItsRegisterFileFails) {
    // Catches a bring-up that passes for successful with the sensor never programmed.
    CaptureStdout();
    CaptureStderr();
    EXPECT_THROW(sensor->SensorInitRegisters(), std::runtime_error);
    const std::string out = GetCapturedStdout();
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("cannot open 120MXS_registers.txt"));
    EXPECT_THAT(out, testing::Not(HasSubstr("Done!")));
    EXPECT_TRUE(frames().empty());
}

TEST_F(RegisterFileTest, AcceptedLineForms) {
    // Catches rejecting CRLF endings, 0x prefixes, lower-case digits, trailing comments or
    // a last line without its line feed.
    play("3A A40A0\r\n0x47 0X1\r\n55 18315f # normal image\n0x5c 0x182160\n5D 7E013");
    EXPECT_EQ(chip(0x3A), 0xA40A0u);
    EXPECT_EQ(chip(0x47), 1u);
    EXPECT_EQ(chip(0x55), 0x18315Fu);
    EXPECT_EQ(chip(0x5C), 0x182160u);
    EXPECT_EQ(chip(0x5D), 0x7E013u);
    EXPECT_EQ(frames().size(), 5u);
}

TEST_F(RegisterFileTest, BlankLinesAreSkipped) {
    // Catches a blank or whitespace-only line turning into a write of an undefined
    // register or value.
    play("\n   \n\t\r\n3A 1\n\n");
    EXPECT_THAT(registersOf(frames()), ElementsAre(0x3A));
}

TEST_F(RegisterFileTest, ReportNamesLineCountingCommentsAndPauses) {
    // Catches a line number that skips comments or pauses, a wrong flag report, lines
    // after the bad one still being played, and a CRLF line's carriage return in the report.
    std::string content;
    for (int i = 1; i <= 11; ++i)
        content += i % 3 == 0 ? "400 A\n"
                              : (i % 3 == 1 ? "# comment\n" : "20 " + std::to_string(i) + "\n");
    content += "3A zz\r\n47 1\r\n";
    const std::string errors = playFailing(content, "120MXS_registers.txt");

    EXPECT_EQ(errors, "\nError writing registers: 120MXS_registers.txt 12: 3A zz\n"
                      "eof: 0 good: 0 fail: 1 bad: 0\n");
    EXPECT_EQ(chip(0x20), 0x11u); // lines before stay written
    EXPECT_FALSE(chipHas(0x3A));
    EXPECT_FALSE(chipHas(0x47));
}

TEST_F(RegisterFileTest, FileThatOpensButCannotBeReadFails) {
    // Catches a directory, a device or a read error passing for an empty register set (a
    // bring-up with an unprogrammed sensor), and /dev/zero read as one endless line.
    const auto playPath = [this](const std::string& name) {
        CaptureStdout();
        CaptureStderr();
        EXPECT_THROW(sensor->writeRegistersFromFile(name), std::exception) << name;
        GetCapturedStdout();
        return GetCapturedStderr();
    };
    std::filesystem::create_directory("folder.txt");
    std::filesystem::create_symlink("/dev/zero", "zero.txt");
    // Regular to stat, yet its first read fails (nothing is mapped at address 0).
    std::filesystem::create_symlink("/proc/self/mem", "mem.txt");

    // Stops here when directories pass: /dev/zero would then be read without end.
    ASSERT_EQ(playPath("folder.txt"),
              "\nError writing registers: folder.txt: not a regular file\n");
    EXPECT_EQ(playPath("zero.txt"), "\nError writing registers: zero.txt: not a regular file\n");
    EXPECT_EQ(playPath("mem.txt"), "\nError writing registers: mem.txt 1: read error\n");
    EXPECT_TRUE(frames().empty());
}

TEST_F(RegisterFileTest, LineBeyond64KiBFails) {
    // Catches a line length limit that is off by one, or no limit at all.
    const std::string longest = "3A 1" + std::string(65536 - 4, ' ');
    writeFile("longest.txt", "47 1\n" + longest + "\n" + longest);
    CaptureStdout();
    EXPECT_NO_THROW(sensor->writeRegistersFromFile("longest.txt"));
    GetCapturedStdout();
    EXPECT_EQ(chip(0x3A), 1u);

    const std::string errors = playFailing("47 2\n" + longest + " \n5D 1\n");
    EXPECT_EQ(errors, "\nError writing registers: regs.txt 2: line longer than 65536 characters\n");
    EXPECT_EQ(chip(0x47), 2u);
    EXPECT_FALSE(chipHas(0x5D));
}

TEST_F(RegisterFileTest, CommentOnlyInColumnOne) {
    // Catches a loader that strips leading blanks before the comment test.
    const std::string errors = playFailing("# fine\n  # not a comment\n3A 1\n");
    EXPECT_EQ(errors, "\nError writing registers: regs.txt 2:   # not a comment\n"
                      "eof: 0 good: 0 fail: 1 bad: 0\n");
    EXPECT_TRUE(frames().empty());
}

TEST_F(RegisterFileTest, RegisterWithoutValueIsAnError) {
    // Catches a line holding only a register number being written with a stale or
    // undefined value.
    const std::string errors = playFailing("3A 5\n47\n");
    EXPECT_EQ(errors, "\nError writing registers: regs.txt 2: 47\n"
                      "eof: 1 good: 0 fail: 1 bad: 0\n");
    EXPECT_THAT(registersOf(frames()), ElementsAre(0x3A));
}

TEST_F(RegisterFileTest, RegisterNumberBeyondSixteenBitsIsAnError) {
    // Catches a register number silently truncated to 16 bits and written.
    const std::string errors = playFailing("10000 5\n");
    EXPECT_THAT(errors, HasSubstr("regs.txt 1: 10000 5\n"));
    EXPECT_TRUE(frames().empty());
}

TEST_F(RegisterFileTest, LockIsReleasedAfterABadLine) {
    // Catches the register lock staying held when the loader throws: another thread's
    // write would then hang.
    playFailing("zz\n");
    std::atomic<bool> written{false};
    std::thread writer([&] {
        sensor->writeRegister(0x47, 1);
        written = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!written && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(written) << "writeRegister blocked after a failed register file";
    writer.join();
    EXPECT_EQ(chip(0x47), 1u);
}

TEST_F(RegisterFileTest, NoWriteFromAnotherThreadLandsInsideTheFile) {
    // Catches a loader that locks per line instead of across the whole file.
    std::ostringstream content;
    for (int i = 0; i < 1500; ++i)
        content << "20 " << std::hex << i << "\n";
    writeFile("long.txt", content.str());

    std::atomic<bool> go{false};
    std::thread other([&] {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < 300; ++i)
            sensor->writeRegister(0x30, i);
    });
    CaptureStdout();
    go = true;
    sensor->writeRegistersFromFile("long.txt");
    other.join();
    GetCapturedStdout();

    // The file's 1500 frames form one unbroken run.
    const auto regs = registersOf(frames());
    ASSERT_EQ(regs.size(), 1800u);
    size_t first = 0;
    while (regs[first] != 0x20)
        ++first;
    for (size_t i = first; i < first + 1500; ++i)
        ASSERT_EQ(regs[i], 0x20) << "foreign write at frame " << i;
}

TEST_F(RegisterFileTest, InitEnablesTheMasterClockThenPlaysTheFile) {
    // Catches the master clock enabled after (or not before) the first SPI frame, and the
    // progress lines in the wrong order.
    writeFile("120MXS_registers.txt", "3A A40A0\n");
    CaptureStdout();
    sensor->SensorInitRegisters();
    const std::string out = GetCapturedStdout();

    EXPECT_EQ(out,
              std::string("void tc120MXS::SensorInitRegisters(): Configuring initial settings \n") +
                  kFileLine + "120MXS_registers.txt\n3a: a40a0\n" +
                  "void tc120MXS::SensorInitRegisters(): Done!\n");
    EXPECT_EQ(head().gpioLevel("MCLK_ENABLE"), 1);
    const auto edges = head().gpioEdges();
    ASSERT_FALSE(edges.empty());
    EXPECT_EQ(edges.back().name, "MCLK_ENABLE");
    EXPECT_EQ(edges.back().level, 1);
    const auto sent = frames();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].time - edges.back().time, std::chrono::microseconds(10));
}

TEST_F(RegisterFileTest, InitPassesABadFileOnWithoutDone) {
    // Catches SensorInitRegisters swallowing the loader's exception or claiming success.
    writeFile("120MXS_registers.txt", "3A\n");
    CaptureStdout();
    CaptureStderr();
    EXPECT_THROW(sensor->SensorInitRegisters(), std::exception);
    const std::string out = GetCapturedStdout();
    GetCapturedStderr();
    EXPECT_THAT(out, testing::Not(HasSubstr("Done!")));
}

TEST_F(RegisterFileTest, SampleFileDescribesAFullFrameHead) {
    // Catches a sample register file that does not parse or leaves the head with the wrong
    // line length, readout rows, gain, frame state or test pattern.
    copySampleConfig("120MXS_registers.txt");
    CaptureStdout();
    sensor->SensorInitRegisters();
    GetCapturedStdout();

    EXPECT_EQ(chip(0x00), 519u << 10);
    EXPECT_EQ(chip(0x04), 0x8FFC020u);
    EXPECT_EQ(chip(0x7A), 0x1E0u);
    EXPECT_EQ(chipField(0x03, 0x7, 18), 0u);
    expectNormalImage();
    EXPECT_FALSE(chipHas(0x400));
    CaptureStderr();
    EXPECT_EQ(sensor->getHorizontalPeriod(), 520);
    EXPECT_EQ(sensor->getFrameReadoutTime(), std::chrono::microseconds(106520));
    EXPECT_EQ(sensor->getGain(), tc120MXS::eeGain15);
    EXPECT_EQ(GetCapturedStderr(), ""); // every field the timing needs is in the file
    EXPECT_GT(sim::Clock::now(), std::chrono::microseconds(1000)); // the pauses ran
}

TEST_F(RegisterFileTest, SetBinAndTestSignalChangeNothing) {
    // Catches the placeholder setters sending anything to the chip.
    EXPECT_EQ(sensor->setBin(2), 0);
    sensor->setTestSigEnable(true);
    EXPECT_TRUE(frames().empty());
}

} // namespace
